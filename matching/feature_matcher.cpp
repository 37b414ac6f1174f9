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

std::vector<ImageSize> reducedSizes(const std::vector<ImageSize>& imageSizes,
                                    const std::vector<int32_t>& featureLevels) {
    std::vector<ImageSize> reduced(imageSizes.size());
    for (size_t i = 0; i < imageSizes.size(); ++i) {
        const float factor = std::pow(2.0f, static_cast<float>(featureLevels[i]));
        reduced[i].height = static_cast<int32_t>(static_cast<float>(imageSizes[i].height) / factor);
        reduced[i].width = static_cast<int32_t>(static_cast<float>(imageSizes[i].width) / factor);
        reduced[i].channels = imageSizes[i].channels;
    }
    return reduced;
}

float automaticAlpha(int64_t totalFeatures, int32_t n, const RansacOptions& options) {
    const float x = static_cast<float>(totalFeatures) * 0.015f / static_cast<float>(n);
    return std::max(options.alphaMin, std::min(options.alphaMax, x));
}

bool FeatureMatcher::matchingStage(const std::string& imageDirectory,
                                   std::vector<std::string> imageNames,
                                   std::vector<ImageSize>& imageSizes,
                                   std::vector<int32_t>& featureLevels,
                                   std::vector<FloatImage>& featureImages,
                                   std::vector<FloatImage>& thumbnails,
                                   std::vector<int32_t>& thumbnailLevels,
                                   int64_t& featureImageMemory, ProgressReporter& progress,
                                   std::string* error) {
    const int32_t n = static_cast<int32_t>(imageNames.size());
    matches.reset(n);
    components.clear();
    const FeatureStageOutputs outputs{imageSizes, featureLevels, featureImages,
                                      thumbnails, thumbnailLevels, featureImageMemory,
                                      &skippedReasons};
    int64_t totalFeatures = 0;
    if (!loadAndMatch(imageDirectory, imageNames, featureOptions, progress, outputs, matches,
                      totalFeatures, error)) {
        matches.reset(n);  // no half-filled table reaches the driver
        return false;
    }
    const std::vector<ImageSize> reduced = reducedSizes(imageSizes, featureLevels);
    if (ransacOptions.autoAlpha && n > 0) {
        ransacOptions.alpha = automaticAlpha(totalFeatures, n, ransacOptions);
        std::cout << " alpha = " << ransacOptions.alpha << std::endl;
    }
    verifyPairs(matches, reduced, ransacOptions, progress);
    components = findComponents(matches);
    return true;
}

}  // namespace vantorra
