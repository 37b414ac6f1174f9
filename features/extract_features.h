#pragma once
// Keypoint detection on one grey image: a difference-of-Gaussian pyramid whose levels are 1.5
// times apart, scale-space extrema refined to sub-pixel position and scale, one feature per
// dominant orientation.

#include "features/feature.h"
#include "features/grey_raster.h"

namespace vantorra {

constexpr int kMaxLevels = 20;
constexpr int kMinLevelSize = 26;  // a level needs more rows and columns than this
constexpr int kSearchBorder = 12;  // no extremum is searched this close to a level's edge

// The features of `grey` (0-255 scale), linked through `next`, the last created first; empty
// (nullptr) when the image is too small or flat. Positions are in pixels of `grey`.
// detectorMode 2: the image as it is; 1: doubled, the doubled level not searched; 0: doubled and
// searched. Features and descriptors come from pool 4, scratch from pool 1 (the caller releases
// it). When the heap is exhausted returns nullptr and sets *failed (if given); otherwise clears it.
Feature* extractFeatures(const GreyRaster& grey, int detectorMode, bool* failed = nullptr);

// Sizes of the pyramid operations, for planning and tests.
int doubledSize(int n);          // 2n - 2 (0 below 2)
int resampledSize(int n);        // floor(2n / 3)

}  // namespace vantorra
