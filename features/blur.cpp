#include "features/blur.h"

#include <algorithm>

#include "features/arena_pools.h"
#include "features/sift_state.h"
#include "numerics/weighted_sum.h"

namespace vantorra {

namespace {

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

float* ringBuffer(size_t needed) {
    sift::ColumnBuffers& b = sift::state().columns;
    if (b.length < needed) {
        const size_t length = grownLength(b.length, needed);
        auto* values = static_cast<float*>(poolAlloc(length * sizeof(float), kPermanentPool));
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

// Row k becomes the sum over t of w[t] * row k + t - half (clamped to the image), t ascending,
// a whole row at a time. The rows it reads are copied into a ring of Taps rows before the blur
// overwrites them.
template <int Taps>
bool blurColumns(GreyRaster& image, const float (&w)[Taps]) {
    constexpr int half = Taps / 2;
    const int n = image.rows;
    const size_t cols = static_cast<size_t>(image.cols);
    float* ring = ringBuffer(Taps * cols);
    if (ring == nullptr) return false;
    auto slot = [&](int r) { return ring + static_cast<size_t>(r % Taps) * cols; };
    float reversed[Taps];
    for (int t = 0; t < Taps; ++t) reversed[Taps - 1 - t] = w[t];
    const float* taps[Taps];
    int copied = 0;  // rows 0 .. copied - 1 have been in the ring
    for (int k = 0; k < n; ++k) {
        for (const int needed = std::min(k + half, n - 1); copied <= needed; ++copied)
            std::copy(image.data[copied], image.data[copied] + cols, slot(copied));
        for (int t = 0; t < Taps; ++t) taps[t] = slot(std::clamp(k + t - half, 0, n - 1));
        weightedSumOfRows(image.data[k], cols, reversed, Taps, taps);
    }
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
