#pragma once
// The inner sum of the separable blurs.

#include <algorithm>
#include <cstddef>

namespace vantorra {

// out[i] = the sum over t = 0 .. taps - 1, in that order, of kernel[taps - 1 - t] * rows[t][i].
// Each chunk of outputs is summed across all taps in registers and stored once. Compiled twice,
// for processors with AVX2 and for every other, and chosen when the program starts: a wider
// vector sums more outputs at once, each output still gets the same products added in the same
// order (no fused multiply-add), so the floats are the same on every processor.
void weightedSumOfRows(float* out, size_t n, const float* kernel, int taps, const float* const* rows);

// The same with the rows given by rowAt(t). A kernel of more taps than kMaxTaps (a blur sigma
// above 40) is summed here, chunk by chunk, without the wider vectors.
template <typename RowAt>
inline void weightedSum(float* out, size_t n, const float* kernel, int taps, RowAt rowAt) {
    constexpr int kMaxTaps = 256;
    if (taps <= kMaxTaps) {
        const float* rows[kMaxTaps];
        for (int t = 0; t < taps; ++t) rows[t] = rowAt(t);
        weightedSumOfRows(out, n, kernel, taps, rows);
        return;
    }
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
