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

namespace {

// Why each readable photograph outside the panorama's component is left out.
void logUnjoined(const MatchingResult& r, const std::vector<ClosestCheck>& closest, std::ostream& log) {
    const std::vector<int32_t> none;
    const std::vector<int32_t>& first = r.components.empty() ? none : r.components.front();
    for (size_t i = 0; i < r.photographs.size(); ++i) {
        if (!r.photographs[i].leftOut.empty() || std::binary_search(first.begin(), first.end(), static_cast<int32_t>(i)))
            continue;
        log << "  Image " << i << " (" << r.photographs[i].name << ") left out: ";
        const ClosestCheck& c = closest[i];
        if (std::any_of(r.components.begin(), r.components.end(), [&](const std::vector<int32_t>& component) {
                return std::binary_search(component.begin(), component.end(), static_cast<int32_t>(i));
            }))
            log << "its pairs join a smaller group of photographs";
        else if (c.j < 0)
            log << "no pair was verified";
        else
            log << "no pair passed verification; the closest, " << i << "-" << c.j << ", kept " << c.inliers
                << " inliers where more than " << c.needed << " are needed";
        log << std::endl;
    }
}

}  // namespace

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
    const std::vector<ClosestCheck> closest = verifyPairs(r.matches, reduced, verification, random, progress, log, pool, &r.unaccepted);
    r.components = findComponents(r.matches, log);
    logUnjoined(r, closest, log);
    r.ok = true;
    return r;
}

}  // namespace vantorra
