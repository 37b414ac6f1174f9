#include "render/warp.h"

#include <algorithm>
#include <cmath>

namespace vantorra {

float outputRatio(int rows, int cols, float p, float q) {
    float ratio = 0.0f;
    if (p > 0.0f) ratio = std::fmax(ratio, static_cast<float>(rows) / p);
    if (q > 0.0f) ratio = std::fmax(ratio, static_cast<float>(cols) / q);
    if (!(ratio > 0.0f)) return 1.0f;
    return std::fmin(ratio, 1.0e6f);  // an edge of almost no pixels: as small as it can get
}

Reduction reductionFor(int rows, int cols, float ratio, float antiAliasFactor) {
    int n = static_cast<int>(std::floor(std::log(ratio) / std::log(2.0f)));
    // Halving stops before the image would vanish; the blur then covers the rest.
    int room = 0;
    for (int r = rows, c = cols; r >= 2 && c >= 2; r /= 2, c /= 2) ++room;
    n = std::clamp(n, 0, room);
    // The blur makes up the part of the ratio that halving left: sigma between k and 2k (capped
    // at 2k when the image was too small to halve further).
    const float residual = std::fmin(ratio / std::ldexp(1.0f, n), 2.0f);
    return Reduction{n, antiAliasFactor * residual};
}

FloatImage reduceBy(const FloatImage& source, const Reduction& reduction) {
    if (reduction.halvings == 0) return gaussianBlur(source, reduction.sigma);
    FloatImage image = halfSize(source);
    for (int i = 1; i < reduction.halvings; ++i) image = halfSize(image);
    return gaussianBlur(image, reduction.sigma);
}

FloatImage reduceForOutput(const FloatImage& source, float ratio, float antiAliasFactor,
                           Matrix& transform) {
    const Reduction reduction = reductionFor(source.rows, source.cols, ratio, antiAliasFactor);
    transform = multiply(reductionMatrix(-reduction.halvings), transform);
    return reduceBy(source, reduction);
}

void applyGains(FloatImage& image, const std::array<float, 3>& gains) {
    const int channels = std::min(image.channels, 3);
    const size_t pixels = static_cast<size_t>(image.rows) * static_cast<size_t>(image.cols);
    for (size_t px = 0; px < pixels; ++px) {
        float* sample = &image.data[px * static_cast<size_t>(image.channels)];
        for (int c = 0; c < channels; ++c) sample[c] *= gains[static_cast<size_t>(c)];
    }
}

FloatImage gaussianBlur(const FloatImage& image, float sigma) {
    const int radius = static_cast<int>(std::floor(3.0f * sigma + 0.5f));
    if (radius <= 0) return image;
    return separableFilter(image, gaussianKernel(sigma, radius), radius);
}

}  // namespace vantorra
