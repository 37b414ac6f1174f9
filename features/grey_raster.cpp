#include "features/grey_raster.h"

#include "features/arena_pools.h"

namespace vantorra {

GreyRaster* allocGreyRaster(int rows, int cols, int pool) {
    if (rows < 0 || cols < 0) return nullptr;
    auto* raster = static_cast<GreyRaster*>(poolAlloc(sizeof(GreyRaster), pool));
    if (raster == nullptr) return nullptr;
    auto** rowPointers = static_cast<float**>(poolAlloc(sizeof(float*) * static_cast<size_t>(rows), pool));
    auto* pixels = static_cast<float*>(
        poolAlloc(sizeof(float) * static_cast<size_t>(rows) * static_cast<size_t>(cols), pool));
    if (rowPointers == nullptr || pixels == nullptr) return nullptr;
    for (int r = 0; r < rows; ++r) rowPointers[r] = pixels + static_cast<size_t>(r) * cols;
    raster->rows = rows;
    raster->cols = cols;
    raster->data = rowPointers;
    return raster;
}

}  // namespace vantorra
