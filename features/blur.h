#pragma once
// The separable blurs of the detector's pyramid.

#include "features/grey_raster.h"

namespace vantorra {

// The initial blur, applied once to the first level, and the blur applied once per level.
inline constexpr float kInitialBlur[9] = {0.02f, 0.0514f, 0.1183f, 0.1951f, 0.2305f,
                                          0.1951f, 0.1183f, 0.0514f, 0.02f};
inline constexpr float kLevelBlur[7] = {0.04f, 0.1f, 0.22f, 0.28f, 0.22f, 0.1f, 0.04f};

// Blurs in place, every row then every column; a line is extended by copies of its end values.
// Works for any width (the buffers grow with the line). False when the heap is exhausted, with
// the raster then partly blurred.
bool blurNineTaps(GreyRaster& image);
bool blurSevenTaps(GreyRaster& image);

}  // namespace vantorra
