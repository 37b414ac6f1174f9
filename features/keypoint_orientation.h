#pragma once
// Dominant gradient orientations of a keypoint and the features they create.

#include "features/feature.h"
#include "features/gradients.h"
#include "features/keypoint.h"

namespace vantorra {

constexpr int kOrientationBins = 36;  // 10 degrees each
constexpr float kPeakRatio = 0.8f;    // a peak must reach this share of the highest bin

// The Gaussian-weighted 36-bin histogram of gradient orientations around the keypoint, each
// sample split linearly between its two nearest bins.
void orientationHistogram(const GradientImages& gradients,
                          const RefinedKeypoint& keypoint, float (&histogram)[kOrientationBins]);
// Six circular passes of the kernel (1/4, 1/2, 1/4).
void smoothHistogram(float (&histogram)[kOrientationBins]);
// The interpolated angles of the histogram's peaks, in ascending bin order; returns how many.
// An all-zero histogram has none.
int histogramPeaks(const float (&histogram)[kOrientationBins], float (&angles)[kOrientationBins]);
// One feature per peak of the (smoothed) histogram, each pushed at the head of the list; returns
// the new head. Sets `failed` (and stops) when pool 4 cannot supply a feature.
Feature* featuresFromHistogram(const float (&histogram)[kOrientationBins], const GradientImages& gradients, const RefinedKeypoint& keypoint,
                               Feature* head, bool& failed);
// Histogram, smoothing and features in one: what the detector calls for every keypoint.
Feature* addOrientedFeatures(const GradientImages& gradients,
                             const RefinedKeypoint& keypoint, Feature* head, bool& failed);

}  // namespace vantorra
