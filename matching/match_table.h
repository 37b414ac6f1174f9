#pragma once
// Per ordered image pair (i, j): the match count and the matched positions. Column k of `first`
// is (row, col) of match k in image i, column k of `second` its partner in image j. The positions
// are in pixels of the respective feature images: from the top-left pixel after matching, from
// the image centre once the driver has re-centred them. count(i, i) is always 0.
//
// The counts are an n x n table; positions are held only for pairs that were given a place, so a
// run of many photographs pays for the pairs that matched, not for every pair. Places are made
// in one step before positions are written (placeCounted) and never on access: once they are
// made, threads may read and write the positions of different pairs at the same time.

#include <cstdint>
#include <vector>

#include "numerics/matrix.h"

namespace vantorra {

struct MatchPoints {
    Matrix first;   // 2 x count, positions in image i
    Matrix second;  // 2 x count, positions in image j
};

class MatchTable {
public:
    MatchTable() = default;
    explicit MatchTable(int n) { reset(n); }

    // n x n zero counts, no pair placed.
    void reset(int n);
    int size() const { return size_; }
    int32_t& count(int i, int j) { return counts_[index(i, j)]; }
    int32_t count(int i, int j) const { return counts_[index(i, j)]; }

    // The positions of a placed pair. An unplaced pair reads as empty; asking to write one is a
    // programming error (std::logic_error), since placing on access would race with other threads.
    MatchPoints& points(int i, int j);
    const MatchPoints& points(int i, int j) const;
    bool placed(int i, int j) const { return find(i, j) != nullptr; }

    // Places every pair with a positive count (positions empty until written); pairs already
    // placed keep theirs. One thread, before positions are written.
    void placeCounted();
    // Places one pair and returns its positions. One thread: it moves the positions of the other
    // pairs of image i, so no reference into that row may be held across it.
    MatchPoints& place(int i, int j);
    // Zero count and released positions; the pair keeps its place.
    void clear(int i, int j);
    // Releases the places of pairs whose count is zero. One thread.
    void dropEmpty();
    int64_t placedPairs() const;

private:
    struct Entry {
        int32_t partner = 0;  // j, entries of a row ascending in it
        MatchPoints points;
    };
    size_t index(int i, int j) const { return static_cast<size_t>(i) * size_ + j; }
    const Entry* find(int i, int j) const;
    Entry* find(int i, int j) { return const_cast<Entry*>(static_cast<const MatchTable*>(this)->find(i, j)); }

    int size_ = 0;
    std::vector<int32_t> counts_;
    std::vector<std::vector<Entry>> rows_;  // per image i: its placed pairs
};

}  // namespace vantorra
