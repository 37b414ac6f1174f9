#pragma once
// Reducing a photograph for an output coarser than it: halvings and a blur against aliasing,
// with the camera's pixel matrix following every reduction.

#include <array>
#include <string>

#include "core/image.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"
#include "render/footprint.h"
#include "render/render_context.h"

namespace vantorra {

// Source pixels per output pixel, along the coarser of the two image edges that span p and q
// output pixels; 1 when the edges say nothing.
float outputRatio(int rows, int cols, float p, float q);

// For an image of rows x cols `ratio` times finer than the output: n = floor(log2 ratio)
// halvings (stopping before the image would vanish) and the blur that covers the rest.
struct Reduction {
    int halvings = 0;
    float sigma = 0;
};
Reduction reductionFor(int rows, int cols, float ratio, float antiAliasFactor);
// The halvings, then the blur.
FloatImage reduceBy(const FloatImage& source, const Reduction& reduction);

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
