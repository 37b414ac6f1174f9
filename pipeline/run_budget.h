#pragma once
// What the memory budget lets a run of n photographs do, known from the count alone, so that a
// run that cannot fit is refused before any photograph is read.

#include <string>

#include "features/feature_image.h"
#include "options/stitch_options.h"

namespace vantorra {

// The feature options of one run: a feature is matched in at most n - 1 other images.
FeatureOptions runFeatureOptions(const StitchOptions& options, int imageCount);
// What the feature stage of a run of imageCount photographs may keep: the feature images in
// featureMemoryFraction of the budget, and each photograph its strongest features up to its
// share of what matching may take.
FeatureBudget featureBudget(const StitchOptions& options, int imageCount);

// Why a run of n photographs cannot be stitched within its budget, or empty when it can.
std::string budgetRefusal(const StitchOptions& options, int n);

}  // namespace vantorra
