#include "matching/feature_matcher.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "features/arena_pools.h"
#include "features/feature_workspace.h"

#include "matching/load_and_match.h"
#include "matching/match_graph.h"
#include "matching/ransac.h"

namespace vantorra {

FeatureMatcher::FeatureMatcher(const FeatureOptions& featureOptions, const RansacOptions& ransacOptions,
                               const FeatureBudget& budget)
    : featureOptions(featureOptions), ransacOptions(ransacOptions), budget(budget) {}

float automaticAlpha(int64_t totalFeatures, int32_t n, const RansacOptions& options) {
    const float x = static_cast<float>(totalFeatures) * 0.015f / static_cast<float>(n);
    return std::max(options.alphaMin, std::min(options.alphaMax, x));
}

MatchingResult FeatureMatcher::matchingStage(const std::string& imageDirectory,
                                             const std::vector<std::string>& imageNames,
                                             ProgressReporter& progress, std::ostream& log, ThreadPool* pool) const {
    // The pools of this thread for the stage: released with it, also when a cancel unwinds it.
    FeatureWorkspace workspace;
    const FeatureWorkspace::Binding bound(workspace);
    poolSetFailureLog(&log);
    MatchingResult r;
    const int32_t n = static_cast<int32_t>(imageNames.size());
    r.matches.reset(n);
    const FeatureStageOutputs outputs{r.photographs, r.featureImageMemory, true};
    int64_t totalFeatures = 0;
    if (!loadAndMatch(imageDirectory, imageNames, featureOptions, budget, progress, log, outputs, r.matches, totalFeatures,
                      &r.error, pool)) {
        r.matches.reset(n);  // no half-filled table reaches the driver
        return r;
    }
    const std::vector<ImageSize> reduced = featureImageSizes(r.photographs);
    RansacOptions verification = ransacOptions;
    if (verification.autoAlpha && n > 0) {
        verification.alpha = automaticAlpha(totalFeatures, n, verification);
        log << " alpha = " << verification.alpha << std::endl;
    }
    r.alpha = verification.alpha;
    RandomStream random;  // the run's own sequence, from its start
    verifyPairs(r.matches, reduced, verification, random, progress, log, pool);
    r.components = findComponents(r.matches, log);
    r.ok = true;
    return r;
}

}  // namespace vantorra
