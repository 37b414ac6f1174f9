#pragma once
// Gradient magnitude and orientation of a blurred level, at odd rows and columns only.

#include "features/grey_raster.h"

namespace vantorra {

// The gradients of one level. Only odd positions are ever computed or read, so they are stored
// compactly: level position (r, c), both odd, is element (r / 2, c / 2) of the two rasters. This
// keeps a quarter of the memory a full-size raster would need (fresh pages are a large part of
// the cost of an image).
struct GradientImages {
    GreyRaster* magnitude = nullptr;
    GreyRaster* orientation = nullptr;
    int rows = 0;  // size of the level
    int cols = 0;

    float magnitudeAt(int r, int c) const { return magnitude->data[r >> 1][c >> 1]; }
    float orientationAt(int r, int c) const { return orientation->data[r >> 1][c >> 1]; }
};

// Gradient images for a rows x cols level from pool 1; false when the heap is exhausted.
bool allocGradientImages(int rows, int cols, GradientImages& gradients);
// For odd r in 1..rows-2 and odd c in 1..cols-2: dx = B[r][c+1] - B[r][c-1] and
// dy = B[r-1][c] - B[r+1][c] (pointing up the image), magnitude |(dx, dy)|, orientation
// atan2(dy, dx) in (-pi, pi] from the arctangent table (0 when dx = dy = 0).
void computeGradients(const GreyRaster& blurred, GradientImages& gradients);
// The table arctangent of (dy, dx) used for the orientation, exposed for tests.
float tableAtan2(float dy, float dx);

}  // namespace vantorra
