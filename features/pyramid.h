#pragma once
// The raster operations that build the detector's pyramid. Every result is a new raster in
// pool 1 (the per-image scratch); nullptr when the heap is exhausted.

#include "features/grey_raster.h"

namespace vantorra {

// An exact copy of `source`.
GreyRaster* copyRaster(const GreyRaster& source);
// Bilinear doubling: (2r - 2) x (2c - 2); out[2i][2j] = in[i][j], the odd positions the means of
// their two or four neighbours. An image with fewer than 2 rows or columns doubles to empty.
GreyRaster* doubleRaster(const GreyRaster& source);
// Resampling to floor(2r / 3) x floor(2c / 3): output pixel i samples source position
// 1.5 i + 0.25 with the weights 9/16, 3/16, 3/16, 1/16 of its nearest 2 x 2 source pixels.
GreyRaster* resampleTwoThirds(const GreyRaster& source);
// a -= b element by element (same sizes): the difference of two successive blurs.
void subtractInPlace(GreyRaster& a, const GreyRaster& b);

}  // namespace vantorra
