#pragma once
// The matching stage of one stitch: features, nearest-neighbour matches, pairwise verification
// and the match graph. Built per run from copies of the feature and RANSAC option blocks; the
// driver builds the panorama from the first (largest) component.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/image.h"
#include "engine/image_size.h"
#include "engine/progress_reporter.h"
#include "engine/stitch_options.h"
#include "matching/match_table.h"

namespace vantorra {

class FeatureMatcher {
public:
    FeatureMatcher(const FeatureOptions& featureOptions, const RansacOptions& ransacOptions);

    // Runs the stage over imageDirectory + every name; writes the per-image lists and the kept
    // feature-image bytes, reports stages 0, 1 and 2. On return `matches` holds the verified
    // counts and positions (pixels of the feature images, from the top-left pixel) and
    // `components` the images that can be stitched together. A photograph that cannot be decoded
    // is left out like an unrelated one, its reason in skippedReasons; so is a repeat of an
    // earlier photograph's view. False, with the reason in
    // *error, when fewer than two can be read or the feature library runs out of memory.
    bool matchingStage(const std::string& imageDirectory, std::vector<std::string> imageNames,
                       std::vector<ImageSize>& imageSizes, std::vector<int32_t>& featureLevels,
                       std::vector<FloatImage>& featureImages, std::vector<FloatImage>& thumbnails,
                       std::vector<int32_t>& thumbnailLevels, int64_t& featureImageMemory,
                       ProgressReporter& progress, std::string* error = nullptr);

    MatchTable matches;
    std::vector<std::vector<int32_t>> components;  // largest first, each ascending, >= 2 images
    std::vector<std::string> skippedReasons;       // per image: why it was left out unread, or empty
    FeatureOptions featureOptions;
    RansacOptions ransacOptions;
};

// Sizes of the feature images: full size divided by 2^level, truncated.
std::vector<ImageSize> reducedSizes(const std::vector<ImageSize>& imageSizes,
                                    const std::vector<int32_t>& featureLevels);
// The automatic alpha: clamp(total features * 0.015 / n, alphaMin, alphaMax).
float automaticAlpha(int64_t totalFeatures, int32_t n, const RansacOptions& options);

}  // namespace vantorra
