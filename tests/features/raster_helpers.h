#pragma once
// Small helpers of the feature tests: rasters filled from a function, in a pool.

#include <functional>

#include "features/arena_pools.h"
#include "features/feature.h"
#include "features/gradients.h"
#include "features/grey_raster.h"
#include "features/keypoint.h"

namespace vantorra::testing_support {

inline GreyRaster* makeRaster(int rows, int cols, const std::function<float(int, int)>& value,
                              int pool = kScratchPool) {
    GreyRaster* raster = allocGreyRaster(rows, cols, pool);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) raster->data[r][c] = value(r, c);
    return raster;
}

// Calls visit(r, c, dr, dc) for the odd positions at most `half` rows and columns from the
// keypoint's rounded position that lie inside rows and columns 1 .. size - 3, row by row, with
// their offsets from the keypoint: the samples a keypoint's window may read.
template <typename Visit>
void forOddSamplesAround(const GradientImages& g, const RefinedKeypoint& k, int half, Visit visit) {
    const int ir = static_cast<int>(k.row + 0.5), ic = static_cast<int>(k.col + 0.5);
    auto odd = [](int n) { return n % 2 == 0 ? n + 1 : n; };
    for (int r = odd(ir - half); r <= ir + half; r += 2) {
        if (r <= 0 || r >= g.rows - 2) continue;
        for (int c = odd(ic - half); c <= ic + half; c += 2) {
            if (c <= 0 || c >= g.cols - 2) continue;
            visit(r, c, static_cast<float>(r - k.row), static_cast<float>(c - k.col));
        }
    }
}

inline int listLength(const Feature* head) {
    int n = 0;
    for (; head != nullptr; head = head->next) ++n;
    return n;
}

}  // namespace vantorra::testing_support
