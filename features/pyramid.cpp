#include "features/pyramid.h"

#include <algorithm>

#include "features/arena_pools.h"

namespace vantorra {

GreyRaster* copyRaster(const GreyRaster& source) {
    GreyRaster* out = allocGreyRaster(source.rows, source.cols, kScratchPool);
    if (out == nullptr) return nullptr;
    for (int r = 0; r < source.rows; ++r)
        std::copy(source.data[r], source.data[r] + source.cols, out->data[r]);
    return out;
}

GreyRaster* doubleRaster(const GreyRaster& source) {
    const int rows = std::max(0, 2 * source.rows - 2);
    const int cols = std::max(0, 2 * source.cols - 2);
    GreyRaster* out = allocGreyRaster(rows, cols, kScratchPool);
    if (out == nullptr) return nullptr;
    for (int i = 0; i + 1 < source.rows; ++i) {
        const float* in0 = source.data[i];
        const float* in1 = source.data[i + 1];
        float* even = out->data[2 * i];
        float* odd = out->data[2 * i + 1];
        for (int j = 0; j + 1 < source.cols; ++j) {
            even[2 * j] = in0[j];
            even[2 * j + 1] = (in0[j] + in0[j + 1]) / 2;
            odd[2 * j] = (in0[j] + in1[j]) / 2;
            odd[2 * j + 1] = (in0[j] + in0[j + 1] + in1[j] + in1[j + 1]) / 4;
        }
    }
    return out;
}

namespace {

// Output index i reads source index `near` with weight 3/4 and `far` with 1/4 along one axis.
void sourcePair(int i, int& near, int& far) {
    const int k = i / 2;
    near = (i % 2 == 0) ? 3 * k : 3 * k + 2;
    far = 3 * k + 1;
}

}  // namespace

GreyRaster* resampleTwoThirds(const GreyRaster& source) {
    const int rows = 2 * source.rows / 3;
    const int cols = 2 * source.cols / 3;
    GreyRaster* out = allocGreyRaster(rows, cols, kScratchPool);
    if (out == nullptr) return nullptr;
    for (int i = 0; i < rows; ++i) {
        int nr = 0, fr = 0;
        sourcePair(i, nr, fr);
        const float* nearRow = source.data[nr];
        const float* farRow = source.data[fr];
        float* line = out->data[i];
        for (int j = 0; j < cols; ++j) {
            int nc = 0, fc = 0;
            sourcePair(j, nc, fc);
            line[j] = 0.5625f * nearRow[nc] + 0.1875f * (farRow[nc] + nearRow[fc]) +
                      0.0625f * farRow[fc];
        }
    }
    return out;
}

void subtractInPlace(GreyRaster& a, const GreyRaster& b) {
    for (int r = 0; r < a.rows; ++r) {
        float* x = a.data[r];
        const float* y = b.data[r];
        for (int c = 0; c < a.cols; ++c) x[c] -= y[c];
    }
}

}  // namespace vantorra
