#include "numerics/weighted_sum.h"

#include <cstring>

#include "numerics/wide_vectors.h"

namespace vantorra {

namespace {

// Eight floats; on a processor without AVX the compiler splits each operation in two.
typedef float Lanes __attribute__((vector_size(32)));

// Adds w times the eight floats at `from` to `sum` (taken by reference: a vector passed by
// value would be passed differently by the two compilations).
inline void addScaled(Lanes& sum, float w, const float* from) {
    Lanes v;
    std::memcpy(&v, from, sizeof v);
    sum += w * v;
}

}  // namespace

VANTORRA_WIDE_VECTORS
void weightedSumOfRows(float* out, size_t n, const float* kernel, int taps, const float* const* rows) {
    constexpr size_t kWidth = 8, kChunk = 4 * kWidth;
    size_t i = 0;
    for (; i + kChunk <= n; i += kChunk) {
        Lanes s0{}, s1{}, s2{}, s3{};
        for (int t = 0; t < taps; ++t) {
            const float w = kernel[taps - 1 - t];
            const float* in = rows[t] + i;
            addScaled(s0, w, in);
            addScaled(s1, w, in + kWidth);
            addScaled(s2, w, in + 2 * kWidth);
            addScaled(s3, w, in + 3 * kWidth);
        }
        std::memcpy(out + i, &s0, sizeof s0);
        std::memcpy(out + i + kWidth, &s1, sizeof s1);
        std::memcpy(out + i + 2 * kWidth, &s2, sizeof s2);
        std::memcpy(out + i + 3 * kWidth, &s3, sizeof s3);
    }
    for (; i < n; ++i) {
        float sum = 0.0f;
        for (int t = 0; t < taps; ++t) sum += kernel[taps - 1 - t] * rows[t][i];
        out[i] = sum;
    }
}

}  // namespace vantorra
