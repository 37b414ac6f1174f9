#include "features/blur.h"

#include <algorithm>

#include "features/arena_pools.h"
#include "features/sift_state.h"
#include "numerics/weighted_sum.h"

namespace vantorra {

namespace {

constexpr int kStrip = 8;  // columns blurred together, one lane each

// The buffers live in pool 0 for the whole program and only grow: to twice their old length or
// to the needed length, whichever is more.
size_t grownLength(size_t old, size_t needed) { return std::max(old * 2, needed); }

float* rowBuffer(size_t needed) {
    sift::RowBuffer& b = sift::state().row;
    if (b.length < needed) {
        const size_t length = grownLength(b.length, needed);
        auto* values = static_cast<float*>(poolAlloc(length * sizeof(float), kPermanentPool));
        if (values == nullptr) return nullptr;
        b = {values, length};
    }
    return b.values;
}

float* columnBuffers(size_t needed) {
    sift::ColumnBuffers& b = sift::state().columns;
    if (b.length < needed) {
        const size_t length = grownLength(b.length, needed);
        auto* values = static_cast<float*>(poolAlloc(length * kStrip * sizeof(float), kPermanentPool));
        if (values == nullptr) return nullptr;
        b = {values, length};
    }
    return b.values;
}

template <int Taps>
bool blurRows(GreyRaster& image, const float (&w)[Taps]) {
    constexpr int half = Taps / 2;
    const int n = image.cols;
    float* buffer = rowBuffer(static_cast<size_t>(n) + Taps - 1);
    if (buffer == nullptr) return false;
    float reversed[Taps];
    const float* taps[Taps];
    for (int t = 0; t < Taps; ++t) {
        reversed[Taps - 1 - t] = w[t];
        taps[t] = buffer + t;
    }
    for (int r = 0; r < image.rows; ++r) {
        float* line = image.data[r];
        std::fill(buffer, buffer + half, line[0]);
        std::copy(line, line + n, buffer + half);
        std::fill(buffer + half + n, buffer + n + Taps - 1, line[n - 1]);
        // line[k] = the sum over t of w[t] * buffer[k + t], t ascending: the blur's shared inner
        // sum, which adds the same products in the same order a vector of outputs at a time.
        weightedSumOfRows(line, static_cast<size_t>(n), reversed, Taps, taps);
    }
    return true;
}

template <int Taps>
void blurStrip(GreyRaster& image, int c0, int width, float* buffer, const float (&w)[Taps]) {
    constexpr int half = Taps / 2;
    const int n = image.rows;
    auto lane = [&](int k) { return buffer + static_cast<size_t>(k) * kStrip; };
    for (int k = 0; k < n + Taps - 1; ++k) {
        const int r = std::clamp(k - half, 0, n - 1);
        float* dst = lane(k);
        for (int l = 0; l < width; ++l) dst[l] = image.data[r][c0 + l];
        for (int l = width; l < kStrip; ++l) dst[l] = 0.0f;
    }
    for (int k = 0; k < n; ++k) {
        float sum[kStrip] = {};
        for (int t = 0; t < Taps; ++t) {
            const float* src = lane(k + t);
            for (int l = 0; l < kStrip; ++l) sum[l] += w[t] * src[l];
        }
        for (int l = 0; l < width; ++l) image.data[k][c0 + l] = sum[l];
    }
}

template <int Taps>
bool blurColumns(GreyRaster& image, const float (&w)[Taps]) {
    float* buffer = columnBuffers(static_cast<size_t>(image.rows) + Taps - 1);
    if (buffer == nullptr) return false;
    for (int c0 = 0; c0 < image.cols; c0 += kStrip)
        blurStrip(image, c0, std::min(kStrip, image.cols - c0), buffer, w);
    return true;
}

template <int Taps>
bool blur(GreyRaster& image, const float (&w)[Taps]) {
    if (image.rows <= 0 || image.cols <= 0) return true;
    return blurRows(image, w) && blurColumns(image, w);
}

}  // namespace

bool blurNineTaps(GreyRaster& image) { return blur(image, kInitialBlur); }

bool blurSevenTaps(GreyRaster& image) { return blur(image, kLevelBlur); }

}  // namespace vantorra
