#include "matching/match_table.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace vantorra {

namespace {

// What an unplaced pair reads as; shared because it is never written.
const MatchPoints kNoPoints;

}  // namespace

void MatchTable::reset(int n) {
    size_ = n;
    counts_.assign(static_cast<size_t>(n) * n, 0);
    rows_.assign(static_cast<size_t>(n), {});
}

namespace {

// Where pair (i, j) is, or would go, in row i (ascending in partner).
template <typename Row>
auto partnerAt(Row& row, int j) {
    return std::lower_bound(row.begin(), row.end(), j, [](const auto& e, int partner) { return e.partner < partner; });
}

}  // namespace

const MatchTable::Entry* MatchTable::find(int i, int j) const {
    const std::vector<Entry>& row = rows_[static_cast<size_t>(i)];
    const auto at = partnerAt(row, j);
    return at != row.end() && at->partner == j ? &*at : nullptr;
}

MatchPoints& MatchTable::points(int i, int j) {
    Entry* entry = find(i, j);
    if (entry == nullptr)
        throw std::logic_error("match pair (" + std::to_string(i) + ", " + std::to_string(j) + ") has no place");
    return entry->points;
}

const MatchPoints& MatchTable::points(int i, int j) const {
    const Entry* entry = find(i, j);
    return entry != nullptr ? entry->points : kNoPoints;
}

void MatchTable::placeCounted() {
    for (int i = 0; i < size_; ++i) {
        std::vector<Entry>& row = rows_[static_cast<size_t>(i)];
        std::vector<Entry> placedRow;
        size_t counted = 0;
        for (int j = 0; j < size_; ++j) counted += count(i, j) > 0 ? 1 : 0;
        placedRow.reserve(std::max(counted, row.size()));
        size_t old = 0;
        for (int j = 0; j < size_; ++j) {
            const bool had = old < row.size() && row[old].partner == j;
            if (had) placedRow.push_back(std::move(row[old++]));
            else if (count(i, j) > 0) placedRow.push_back({j, {}});
        }
        row = std::move(placedRow);
    }
}

MatchPoints& MatchTable::place(int i, int j) {
    std::vector<Entry>& row = rows_[static_cast<size_t>(i)];
    const auto at = partnerAt(row, j);
    if (at != row.end() && at->partner == j) return at->points;
    return row.insert(at, Entry{j, {}})->points;
}

void MatchTable::clear(int i, int j) {
    count(i, j) = 0;
    if (Entry* entry = find(i, j)) entry->points = MatchPoints{};
}

void MatchTable::dropEmpty() {
    for (int i = 0; i < size_; ++i) {
        std::vector<Entry>& row = rows_[static_cast<size_t>(i)];
        std::erase_if(row, [&](const Entry& e) { return count(i, e.partner) <= 0; });
        row.shrink_to_fit();
    }
}

int64_t MatchTable::placedPairs() const {
    int64_t total = 0;
    for (const std::vector<Entry>& row : rows_) total += static_cast<int64_t>(row.size());
    return total;
}

}  // namespace vantorra
