#include "matching/feature_matcher.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "matching/load_and_match.h"
#include "matching/match_graph.h"
#include "matching/ransac.h"

namespace vantorra {

FeatureMatcher::FeatureMatcher(const FeatureOptions& featureOptions,
                               const RansacOptions& ransacOptions)
    : featureOptions(featureOptions), ransacOptions(ransacOptions) {}

float automaticAlpha(int64_t totalFeatures, int32_t n, const RansacOptions& options) {
    const float x = static_cast<float>(totalFeatures) * 0.015f / static_cast<float>(n);
    return std::max(options.alphaMin, std::min(options.alphaMax, x));
}

MatchingResult FeatureMatcher::matchingStage(const std::string& imageDirectory,
                                             const std::vector<std::string>& imageNames,
                                             ProgressReporter& progress, ThreadPool* pool) const {
    MatchingResult r;
    const int32_t n = static_cast<int32_t>(imageNames.size());
    r.matches.reset(n);
    const FeatureStageOutputs outputs{r.imageSizes, r.featureLevels, r.featureImages,
                                      r.thumbnails, r.thumbnailLevels, r.featureImageMemory,
                                      &r.skippedReasons};
    int64_t totalFeatures = 0;
    if (!loadAndMatch(imageDirectory, imageNames, featureOptions, progress, outputs, r.matches,
                      totalFeatures, &r.error, pool)) {
        r.matches.reset(n);  // no half-filled table reaches the driver
        return r;
    }
    const std::vector<ImageSize> reduced = reducedSizes(r.imageSizes, r.featureLevels);
    RansacOptions verification = ransacOptions;
    if (verification.autoAlpha && n > 0) {
        verification.alpha = automaticAlpha(totalFeatures, n, verification);
        std::cout << " alpha = " << verification.alpha << std::endl;
    }
    r.alpha = verification.alpha;
    verifyPairs(r.matches, reduced, verification, progress, pool);
    r.components = findComponents(r.matches);
    r.ok = true;
    return r;
}

}  // namespace vantorra
