#include "render/warp.h"

#include <algorithm>
#include <cmath>


namespace vantorra {
namespace {

// Reduction ratio of an image of rows x cols for edges p and q output pixels long: how many
// source pixels fall on one output pixel along the coarser direction. An edge that maps onto no
// output pixel says nothing about the ratio.
float outputRatio(int rows, int cols, float p, float q) {
    float ratio = 0.0f;
    if (p > 0.0f) ratio = std::fmax(ratio, static_cast<float>(rows) / p);
    if (q > 0.0f) ratio = std::fmax(ratio, static_cast<float>(cols) / q);
    if (!(ratio > 0.0f)) return 1.0f;
    return std::fmin(ratio, 1.0e6f);  // an edge of almost no pixels: as small as it can get
}

}  // namespace

FloatImage reduceForOutput(const FloatImage& source, float ratio, float antiAliasFactor,
                           Matrix& transform) {
    int n = static_cast<int>(std::floor(std::log(ratio) / std::log(2.0f)));
    // Halving stops before the image would vanish; the blur then covers the rest.
    int room = 0;
    for (int r = source.rows, c = source.cols; r >= 2 && c >= 2; r /= 2, c /= 2) ++room;
    n = std::clamp(n, 0, room);
    // The blur makes up the part of the ratio that halving left: sigma between k and 2k (capped
    // at 2k when the image was too small to halve further).
    const float residual = std::fmin(ratio / std::ldexp(1.0f, n), 2.0f);
    transform = multiply(reductionMatrix(-n), transform);
    if (n == 0) return gaussianBlur(source, antiAliasFactor * residual);
    FloatImage image = halfSize(source);
    for (int i = 1; i < n; ++i) image = halfSize(image);
    return gaussianBlur(image, antiAliasFactor * residual);
}

const FloatImage& acquireSourceView(const PhotoSources& sources, float antiAliasFactor, int image,
                                    Camera& camera, const ImageFootprint& footprint,
                                    FloatImage& storage, std::string* error) {
    const float p = footprint.firstEdgePixels, q = footprint.secondEdgePixels;
    const float k = antiAliasFactor;
    if (const FloatImage* kept = sources.featureImage(image)) {
        const FloatImage& cached = *kept;
        const int level = sources.featureLevel(image);
        const float ratio = outputRatio(cached.rows, cached.cols, p, q);
        // The cached copy serves while it still has a pixel per output pixel.
        if (ratio >= 1.0f || level == 0) {
            camera.imageTransform = multiply(reductionMatrix(-level), camera.imageTransform);
            if (ratio <= 1.0f) return cached;
            storage = reduceForOutput(cached, ratio, k, camera.imageTransform);
            return storage;
        }
    }
    if (!storage.readJpeg(sources.path(image), error)) {
        storage.release();
        return storage;
    }
    const float ratio = outputRatio(storage.rows, storage.cols, p, q);
    if (ratio > 1.0f) storage = reduceForOutput(storage, ratio, k, camera.imageTransform);
    return storage;
}

FloatImage acquireSource(const PhotoSources& sources, float antiAliasFactor, int image,
                         Camera& camera, const ImageFootprint& footprint, std::string* error) {
    FloatImage storage;
    const FloatImage& source =
        acquireSourceView(sources, antiAliasFactor, image, camera, footprint, storage, error);
    if (&source == &storage) return storage;
    return source;
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
