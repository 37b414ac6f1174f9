#pragma once
// The single-channel raster of the feature library and its allocation from an arena pool.

#include <cstdint>

namespace vantorra {

// rows x cols floats on the 0-255 scale, reached through one pointer per row. Both the row
// pointers and the pixels live in an arena pool; a raster is never freed on its own, only with
// its pool.
struct GreyRaster {
    int32_t rows = 0;
    int32_t cols = 0;
    float** data = nullptr;
};

// A rows x cols raster (pixels not initialised) from `pool`; nullptr when the heap is exhausted.
GreyRaster* allocGreyRaster(int rows, int cols, int pool);

}  // namespace vantorra
