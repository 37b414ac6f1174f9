#include "pipeline/run_budget.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "adjust/bundle_adjuster.h"
#include "matching/neighbour_matching.h"

namespace vantorra {

FeatureOptions runFeatureOptions(const StitchOptions& options, int imageCount) {
    FeatureOptions feature = options.feature;
    if (feature.maxMatchesPerFeature > imageCount - 1) feature.maxMatchesPerFeature = imageCount - 1;
    return feature;
}

FeatureBudget featureBudget(const StitchOptions& options, int imageCount) {
    FeatureBudget budget;
    budget.featureImageBytes =
        static_cast<int64_t>(static_cast<double>(options.systemMemory) * options.featureMemoryFraction);
    const double share = static_cast<double>(options.systemMemory) * options.matchedFeatureFraction /
                         std::max(imageCount, 1) /
                         static_cast<double>(matchedFeatureBytes(runFeatureOptions(options, imageCount)));
    budget.featuresPerImage = static_cast<int32_t>(std::clamp(share, 0.0, 2147483647.0));
    return budget;
}

namespace {

// The fewest features a photograph must be able to keep. Verification tries candidateImages
// partners and accepts one with more than alpha + beta x (matches in the overlap) inliers, so
// even if every feature matched, fewer than candidateImages (alpha + 1) / (1 - beta) could not
// let all of them through.
int32_t fewestFeatures(const RansacOptions& ransac) {
    const float alpha = ransac.autoAlpha ? ransac.alphaMax : ransac.alpha;
    const float kept = std::max(1.0f - ransac.beta, 0.1f);
    return static_cast<int32_t>(std::ceil(static_cast<float>(ransac.candidateImages) * (alpha + 1.0f) / kept));
}

std::string megabytes(double bytes) { return std::to_string(static_cast<int64_t>(std::ceil(bytes / 1048576.0))); }

std::string budgetText(const StitchOptions& options) {
    return megabytes(static_cast<double>(options.systemMemory)) + " MB memory budget";
}

constexpr const char* kFewerAdvice = "; stitch fewer at once or raise the budget";

// The features of all photographs are matched at once: each must be able to keep enough of them.
std::string featureRefusal(const StitchOptions& options, int n) {
    const int32_t each = featureBudget(options, n).featuresPerImage;
    const int32_t fewest = fewestFeatures(options.ransac);
    if (each >= fewest) return {};
    const auto share = static_cast<int64_t>(static_cast<double>(options.systemMemory) * options.matchedFeatureFraction);
    return std::to_string(n) + " photographs can keep only " + std::to_string(each) + " features each in the " +
           std::to_string(share >> 20) + " MB of the " + budgetText(options) + " that matching may use, fewer than the " +
           std::to_string(fewest) + " verification needs" + kFewerAdvice;
}

// The cameras of one panorama are adjusted together, in memory that grows with the square of
// their number: it must fit in what the feature images leave of the budget.
std::string adjustmentRefusal(const StitchOptions& options, int n) {
    const auto share = static_cast<int64_t>(static_cast<double>(options.systemMemory) *
                                            (1.0 - static_cast<double>(options.featureMemoryFraction)));
    const int64_t needed = adjustmentBytes(n);
    if (needed <= share) return {};
    return std::to_string(n) + " photographs need " + megabytes(static_cast<double>(needed)) +
           " MB to adjust their cameras together, more than the " + std::to_string(share >> 20) + " MB of the " +
           budgetText(options) + " left beside the feature images" + kFewerAdvice;
}

}  // namespace

std::string budgetRefusal(const StitchOptions& options, int n) {
    const std::string features = featureRefusal(options, n);
    return features.empty() ? adjustmentRefusal(options, n) : features;
}

}  // namespace vantorra
