#include "core/row_ranges.h"

#include <algorithm>
#include <cstddef>

namespace vantorra {

namespace {
// Below this many rows a range costs more to hand over than to compute.
constexpr int kMinimumRange = 8;
}  // namespace

void forRowRanges(ThreadPool* pool, int rows, const std::function<void(int, int, int)>& body) {
    if (rows <= 0) return;
    const int threads = pool != nullptr ? pool->size() : 1;
    if (threads <= 1 || rows < 2 * kMinimumRange) {
        body(0, rows, 0);
        return;
    }
    // A few ranges per thread even out rows of unequal cost.
    const int range = std::max(kMinimumRange, (rows + 4 * threads - 1) / (4 * threads));
    const int ranges = (rows + range - 1) / range;
    pool->parallelFor(static_cast<size_t>(ranges), [&](size_t k, int slot) {
        const int first = static_cast<int>(k) * range;
        body(first, std::min(rows, first + range), slot);
    });
}

void clearRows(FloatImage& image, ThreadPool* pool) {
    const size_t rowSamples = static_cast<size_t>(image.cols) * static_cast<size_t>(image.channels);
    forRowRanges(pool, image.rows, [&](int first, int end, int) {
        std::fill(image.data.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(first) * rowSamples),
                  image.data.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(end) * rowSamples), 0.0f);
    });
}

}  // namespace vantorra
