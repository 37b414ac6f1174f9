#pragma once
// Gradient magnitude and orientation of a blurred level, at odd rows and columns only.

#include "features/grey_raster.h"

namespace vantorra {

// For odd r in 1..rows-2 and odd c in 1..cols-2: dx = B[r][c+1] - B[r][c-1] and
// dy = B[r-1][c] - B[r+1][c] (pointing up the image), M = |(dx, dy)|, O = atan2(dy, dx) in
// (-pi, pi] from the arctangent table (0 when dx = dy = 0). Other positions are left unset.
void computeGradients(const GreyRaster& blurred, GreyRaster& magnitude, GreyRaster& orientation);
// The table arctangent of (dy, dx) used for O, exposed for tests.
float tableAtan2(float dy, float dx);

}  // namespace vantorra
