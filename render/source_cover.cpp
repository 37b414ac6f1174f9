#include "render/source_cover.h"

#include <algorithm>

namespace vantorra {

void SourceCover::takeRow(int index, const uint8_t* cover, int rows, int width) {
    if (covered.empty()) {
        cols = width;
        covered.assign(static_cast<size_t>(std::max(rows, 0)) * width, 255);
    }
    if (index < 0 || index >= rows) return;
    std::copy(cover, cover + width, covered.begin() + static_cast<std::ptrdiff_t>(index) * cols);
}

void SourceCover::halve(int rows) {
    if (covered.empty()) return;
    const int halfRows = rows / 2, halfCols = cols / 2;
    std::vector<uint8_t> half(static_cast<size_t>(halfRows) * halfCols);
    for (int r = 0; r < halfRows; ++r) {
        const uint8_t* top = &covered[2 * static_cast<size_t>(r) * cols];
        const uint8_t* bottom = top + cols;
        for (int c = 0; c < halfCols; ++c)
            half[static_cast<size_t>(r) * halfCols + c] =
                std::min({top[2 * c], top[2 * c + 1], bottom[2 * c], bottom[2 * c + 1]});
    }
    covered = std::move(half);
    cols = halfCols;
}

void SourceCover::keepRows(int skip, int keep) {
    if (covered.empty()) return;
    const size_t from = static_cast<size_t>(skip) * cols, count = static_cast<size_t>(keep) * cols;
    std::copy(covered.begin() + static_cast<std::ptrdiff_t>(from),
              covered.begin() + static_cast<std::ptrdiff_t>(from + count), covered.begin());
    covered.resize(count);
}

}  // namespace vantorra
