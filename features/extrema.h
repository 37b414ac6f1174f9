#pragma once
// The candidate tests of the detector on one difference-of-Gaussian level and its neighbours.

#include "features/grey_raster.h"

namespace vantorra {

// Smallest absolute difference-of-Gaussian value worth testing (0.8 of the contrast threshold).
constexpr float kPreThreshold = 0.016f;
// Smallest absolute principal curvature of an accepted candidate: rejects edges.
constexpr float kEdgeThreshold = 0.0005f;

// True when dog[i][j] is an extremum (ties allowed) of its 3x3 neighbourhood in `dog`, of the
// 3x3 neighbourhood around ((3i + 1) / 2, (3j + 1) / 2) in the finer level and around
// (2i / 3, 2j / 3) in the coarser level. For a positive value no neighbour may be greater, for a
// value <= 0 none smaller.
bool isScaleSpaceExtremum(const GreyRaster& finer, const GreyRaster& dog, const GreyRaster& coarser,
                          int i, int j);
// The same in two steps for a whole row. First the largest and smallest value of the 3x3
// neighbourhood of every column first .. last of row i (rows i - 1 and i + 1 and columns
// first - 1 .. last + 1 must exist), into highest[j] and lowest[j]: a finite value v = dog[i][j]
// passes its own level's test when highest[j] <= v (v > 0) or lowest[j] >= v (v <= 0).
void neighbourhoodExtremes(const GreyRaster& dog, int i, int first, int last, float* highest, float* lowest);
// Then the finer and coarser levels' tests of a value v = dog[i][j] that passed its own.
bool isExtremumAcrossLevels(const GreyRaster& finer, const GreyRaster& coarser, int i, int j, float v);
// True when both principal curvatures of `dog` at (i, j) exceed kEdgeThreshold in magnitude.
bool passesEdgeTest(const GreyRaster& dog, int i, int j);

}  // namespace vantorra
