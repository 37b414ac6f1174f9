#include "io/stored_rows.h"

#include <algorithm>

#include "io/input_files.h"
#include "io/upright.h"

namespace vantorra {
namespace {

// A photograph that is not stored upright is gathered before it is turned; the same ceiling as
// the JPEG reader's keeps a forged size from costing more than any camera's photograph would.
constexpr int64_t kMaxGatheredSamples = int64_t{1} << 30;

// Sums factor upright rows into one reduced row and hands it to the sink.
class RowReducer {
public:
    RowReducer(int width, int factor, bool alpha, PhotoRowSink& sink)
        : width_(width), factor_(factor), alpha_(alpha), sink_(sink),
          out_(reducedSide(width, factor)), sums_(3 * static_cast<size_t>(out_)), counts_(out_), covers_(out_),
          wide_(3 * static_cast<size_t>(out_)), narrow_(3 * static_cast<size_t>(out_)), cover_(out_) {}

    void add(const uint16_t* rgb, const uint8_t* cover) {
        for (int x = 0; x < width_; ++x) {
            const int to = x / factor_;
            const unsigned c = alpha_ ? cover[x] : 255u;
            covers_[to] += c;
            if (c == 0) continue;
            ++counts_[to];
            for (int k = 0; k < 3; ++k) sums_[3 * to + k] += rgb[3 * x + k];
        }
        ++rowsIn_;
    }

    // The reduced row `index` from the rows added since the last one.
    void emit(int index) {
        const unsigned pixels = static_cast<unsigned>(rowsIn_);
        for (int x = 0; x < out_; ++x) {
            const unsigned n = counts_[x];
            const unsigned block = pixels * static_cast<unsigned>(std::min(factor_, width_ - x * factor_));
            cover_[x] = static_cast<uint8_t>((covers_[x] + block / 2) / block);
            for (int k = 0; k < 3; ++k) {
                const size_t i = 3 * static_cast<size_t>(x) + k;
                const uint32_t mean = n ? (sums_[i] + n / 2) / n : 0;
                wide_[i] = static_cast<uint16_t>(mean);
                narrow_[i] = static_cast<uint8_t>((mean * 255 + 32767) / 65535);
            }
        }
        if (alpha_) sink_.cover(index, cover_.data());
        if (sink_.wantsWideSamples()) sink_.wideRow(index, wide_.data());
        else sink_.row(index, narrow_.data());
        std::fill(sums_.begin(), sums_.end(), 0u);
        std::fill(counts_.begin(), counts_.end(), 0u);
        std::fill(covers_.begin(), covers_.end(), 0u);
        rowsIn_ = 0;
    }

private:
    int width_, factor_;
    bool alpha_;
    PhotoRowSink& sink_;
    int out_;
    std::vector<uint32_t> sums_, counts_, covers_;
    std::vector<uint16_t> wide_;
    std::vector<uint8_t> narrow_, cover_;
    int rowsIn_ = 0;
};

bool readNext(StoredRows& rows, std::vector<uint16_t>& rgb, std::vector<uint8_t>& cover, std::string& error) {
    if (InputWatch::readCancelled()) {
        error = "the read was cancelled";
        return false;
    }
    return rows.next(rgb.data(), cover.data(), error);
}

// Upright full-size rows first .. end - 1 of a photograph stored upright, as they are decoded.
bool streamUpright(StoredRows& rows, int first, int end, int factor, RowReducer& reducer, std::string& error) {
    std::vector<uint16_t> rgb(3 * static_cast<size_t>(rows.width()));
    std::vector<uint8_t> cover(rows.width(), 255);
    for (int y = 0; y < end; ++y) {
        if (!readNext(rows, rgb, cover, error)) return false;
        if (y < first) continue;
        reducer.add(rgb.data(), cover.data());
        if ((y + 1) % factor == 0 || y + 1 == end) reducer.emit(y / factor - first / factor);
    }
    return true;
}

// The same for a photograph that must be turned: the stored block the rows need is gathered
// first, then each upright row is read out of it.
bool turnUpright(StoredRows& rows, const UprightMapping& mapping, int first, int end, int factor,
                 RowReducer& reducer, std::string& error) {
    const StoredRegion region = mapping.regionForRows(first, end - first);
    const size_t columns = static_cast<size_t>(region.columns);
    if (int64_t{region.rows} * region.columns * 4 >= kMaxGatheredSamples) {
        error = "the photograph is too large to turn upright";
        return false;
    }
    std::vector<uint16_t> stored(3 * columns * region.rows), rgb(3 * static_cast<size_t>(rows.width()));
    std::vector<uint8_t> storedCover(columns * region.rows, 255), cover(rows.width(), 255);
    for (int y = 0; y < region.firstRow + region.rows; ++y) {
        if (!readNext(rows, rgb, cover, error)) return false;
        if (y < region.firstRow) continue;
        const size_t at = static_cast<size_t>(y - region.firstRow) * columns;
        std::copy_n(rgb.data() + 3 * static_cast<size_t>(region.firstColumn), 3 * columns, stored.data() + 3 * at);
        std::copy_n(cover.data() + region.firstColumn, columns, storedCover.data() + at);
    }
    const int width = mapping.uprightWidth();
    rgb.assign(3 * static_cast<size_t>(width), 0);
    cover.assign(width, 255);
    for (int y = first; y < end; ++y) {
        for (int x = 0; x < width; ++x) {
            int column = 0, row = 0;
            mapping.storedPixel(x, y, column, row);
            const size_t from = static_cast<size_t>(row - region.firstRow) * columns + (column - region.firstColumn);
            std::copy_n(stored.data() + 3 * from, 3, rgb.data() + 3 * static_cast<size_t>(x));
            cover[x] = storedCover[from];
        }
        reducer.add(rgb.data(), cover.data());
        if ((y + 1) % factor == 0 || y + 1 == end) reducer.emit(y / factor - first / factor);
    }
    return true;
}

}  // namespace

bool deliverRows(StoredRows& rows, int orientation, int factor, PhotoRowSink& sink, std::string& error,
                 int firstRow, int rowCount) {
    if (factor < 1 || factor > 64) {
        error = "unsupported reduction 1/" + std::to_string(factor);
        return false;
    }
    const UprightMapping mapping(orientation, rows.width(), rows.height());
    const int reducedRows = reducedSide(mapping.uprightHeight(), factor);
    const int first = std::clamp(firstRow, 0, reducedRows);
    const int last = rowCount < 0 ? reducedRows : std::min(reducedRows, first + rowCount);
    if (!sink.begin(reducedSide(mapping.uprightWidth(), factor), last - first)) {
        error = "the photograph was refused by its reader";
        return false;
    }
    if (last == first) return true;
    RowReducer reducer(mapping.uprightWidth(), factor, rows.hasAlpha(), sink);
    const int begin = first * factor, end = std::min(mapping.uprightHeight(), last * factor);
    if (orientation < 2 || orientation > 8) return streamUpright(rows, begin, end, factor, reducer, error);
    return turnUpright(rows, mapping, begin, end, factor, reducer, error);
}

}  // namespace vantorra
