#pragma once
// Getting a photograph ready for one block: the cached feature-image copy or the file, halved
// and blurred against aliasing when the panorama is coarser than the photograph, with the
// camera's pixel matrix following every reduction.

#include <array>
#include <string>

#include "engine/image.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"
#include "render/footprint.h"
#include "render/render_context.h"

namespace vantorra {

// The source of image `image` for the footprint's output resolution; `camera` (the caller's
// local copy) gets its imageTransform moved onto the returned image. An unreadable file gives an
// empty image with the reason in `error` and leaves the camera alone.
FloatImage acquireSource(const PhotoSources& sources, float antiAliasFactor, int image,
                         Camera& camera, const ImageFootprint& footprint,
                         std::string* error = nullptr);

// As acquireSource, without copying a cached image that needs no reduction: the result refers
// either to the kept feature image or to `storage`. For callers that only read the source.
const FloatImage& acquireSourceView(const PhotoSources& sources, float antiAliasFactor, int image,
                                    Camera& camera, const ImageFootprint& footprint,
                                    FloatImage& storage, std::string* error = nullptr);

// Reduces `source` by 2^n for an output `ratio` times coarser (n = floor(log2 ratio)), blurs it
// with sigma = antiAliasFactor * ratio / 2^n and moves `transform` onto the reduced image.
FloatImage reduceForOutput(const FloatImage& source, float ratio, float antiAliasFactor,
                           Matrix& transform);

// Multiplies every sample of channel c by gains[c].
void applyGains(FloatImage& image, const std::array<float, 3>& gains);

// Separable Gaussian of radius trunc(floor(3 sigma + 0.5)) with edge samples repeated; a copy
// when that radius is 0.
FloatImage gaussianBlur(const FloatImage& image, float sigma);

}  // namespace vantorra
