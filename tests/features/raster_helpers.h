#pragma once
// Small helpers of the feature tests: rasters filled from a function, in a pool.

#include <functional>

#include "features/arena_pools.h"
#include "features/feature.h"
#include "features/grey_raster.h"

namespace vantorra::testing_support {

inline GreyRaster* makeRaster(int rows, int cols, const std::function<float(int, int)>& value,
                              int pool = kScratchPool) {
    GreyRaster* raster = allocGreyRaster(rows, cols, pool);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) raster->data[r][c] = value(r, c);
    return raster;
}

inline int listLength(const Feature* head) {
    int n = 0;
    for (; head != nullptr; head = head->next) ++n;
    return n;
}

}  // namespace vantorra::testing_support
