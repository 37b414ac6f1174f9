#pragma once
// The inner sum of the separable blurs.

#include <algorithm>
#include <cstddef>

namespace vantorra {

// out[i] = the sum over t = 0 .. taps - 1, in that order, of kernel[taps - 1 - t] * rowAt(t)[i]:
// one output row of a blur pass. Each chunk of outputs is summed across all taps in registers and
// stored once, instead of the whole row being loaded and stored again for every tap; every sample
// gets the same additions in the same order either way, so the floats are the same.
template <typename RowAt>
inline void weightedSum(float* out, size_t n, const float* kernel, int taps, RowAt rowAt) {
    constexpr size_t kChunk = 16;
    size_t i = 0;
    for (; i + kChunk <= n; i += kChunk) {
        float sum[kChunk] = {};
        for (int t = 0; t < taps; ++t) {
            const float w = kernel[taps - 1 - t];
            const float* in = rowAt(t) + i;
            for (size_t j = 0; j < kChunk; ++j) sum[j] += w * in[j];
        }
        std::copy(sum, sum + kChunk, out + i);
    }
    for (; i < n; ++i) {
        float sum = 0.0f;
        for (int t = 0; t < taps; ++t) sum += kernel[taps - 1 - t] * rowAt(t)[i];
        out[i] = sum;
    }
}

}  // namespace vantorra
