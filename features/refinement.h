#pragma once
// One quadratic step from a scale-space extremum to its sub-pixel position and scale.

#include "features/grey_raster.h"
#include "features/keypoint.h"

namespace vantorra {

constexpr float kContrastThreshold = 0.02f;  // on the absolute interpolated value
constexpr float kOffsetLimit = 1.5f;         // on each component of the step
constexpr float kBaseSigma = 1.7f;           // sigma of a keypoint at a whole level

// Bilinear value of `level` at (y, x), both >= 0 and inside the raster less its last row/column.
float bilinearAt(const GreyRaster& level, float y, float x);
// Solves h x = rhs by Gaussian elimination with partial pivoting (first largest pivot on ties).
// False when a pivot is zero or the solution is not finite.
bool solveThreeByThree(const float (&h)[3][3], const float (&rhs)[3], float (&x)[3]);
// Refines the candidate (i, j) of difference level `level` (finer and coarser are its
// neighbours). False when the system is singular, a step component exceeds kOffsetLimit or the
// interpolated value is below kContrastThreshold in magnitude. `doubled`: the first level was
// the doubled image.
bool refineCandidate(const GreyRaster& finer, const GreyRaster& dog, const GreyRaster& coarser,
                     int i, int j, int level, bool doubled, RefinedKeypoint& keypoint);

}  // namespace vantorra
