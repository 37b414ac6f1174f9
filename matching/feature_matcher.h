#pragma once
// The matching stage of one stitch: features, nearest-neighbour matches, pairwise verification
// and the match graph. Built per run from copies of the feature and RANSAC option blocks; the
// driver builds the panorama from the first (largest) component.

#include <cstdint>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/image_size.h"
#include "core/progress_reporter.h"
#include "options/stitch_options.h"
#include "core/thread_pool.h"
#include "matching/match_table.h"

namespace vantorra {

// Everything the matching stage found, per image number.
struct MatchingResult {
    bool ok = false;    // false: fewer than two images could be read or feature memory ran out
    std::string error;  // why, when not ok
    std::vector<ImageSize> imageSizes;       // full resolution
    std::vector<int32_t> featureLevels;      // feature image = photograph shrunk by 2^level
    std::vector<FloatImage> featureImages;   // kept when the budget allows, else empty
    std::vector<FloatImage> thumbnails;      // further reduced copies for gain compensation
    std::vector<int32_t> thumbnailLevels;
    int64_t featureImageMemory = 0;          // bytes of the kept feature images
    float alpha = 0;                         // the verification's alpha, automatic or given
    // Verified counts and positions (pixels of the feature images, from the top-left pixel).
    MatchTable matches;
    std::vector<std::vector<int32_t>> components;  // largest first, each ascending, >= 2 images
    std::vector<std::string> skippedReasons;  // per image: why it was left out, or empty
};

class FeatureMatcher {
public:
    FeatureMatcher(const FeatureOptions& featureOptions, const RansacOptions& ransacOptions);

    // Runs the stage over imageDirectory + every name and reports stages 0, 1 and 2. A
    // photograph that cannot be decoded is left out like an unrelated one, its reason in
    // skippedReasons; so is a repeat of an earlier photograph's view. Not ok when fewer than two
    // can be read or feature memory runs out: the match table is then empty and the per-image
    // lists must not be used.
    MatchingResult matchingStage(const std::string& imageDirectory,
                                 const std::vector<std::string>& imageNames,
                                 ProgressReporter& progress, ThreadPool* pool = nullptr) const;

    const FeatureOptions featureOptions;
    const RansacOptions ransacOptions;
};

// The automatic alpha: clamp(total features * 0.015 / n, alphaMin, alphaMax).
float automaticAlpha(int64_t totalFeatures, int32_t n, const RansacOptions& options);

}  // namespace vantorra
