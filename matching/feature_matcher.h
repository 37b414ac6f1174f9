#pragma once
// The matching stage of one stitch: features, nearest-neighbour matches, pairwise verification
// and the match graph. Built per run from copies of the feature and RANSAC option blocks; the
// driver builds the panorama from the first (largest) component.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/photograph.h"
#include "features/feature_image.h"
#include "core/progress_reporter.h"
#include "options/stitch_options.h"
#include "core/thread_pool.h"
#include "matching/match_table.h"

namespace vantorra {

// Everything the matching stage found, per image number.
struct MatchingResult {
    bool ok = false;    // false: fewer than two images could be read or feature memory ran out
    std::string error;  // why, when not ok
    // One record per name, in order: sizes, kept feature images and thumbnails, why one was
    // left out.
    std::vector<Photograph> photographs;
    int64_t featureImageMemory = 0;          // bytes of the kept feature images and thumbnails
    float alpha = 0;                         // the verification's alpha, automatic or given
    // Verified counts and positions (pixels of the feature images, from the top-left pixel).
    MatchTable matches;
    // The raw matches of the pairs verification did not accept that had more than alpha of them
    // (same positions), for a check under the solved cameras.
    MatchTable unaccepted;
    std::vector<std::vector<int32_t>> components;  // largest first, each ascending, >= 2 images
};

class FeatureMatcher {
public:
    FeatureMatcher(const FeatureOptions& featureOptions, const RansacOptions& ransacOptions,
                   const FeatureBudget& budget = {});

    // Runs the stage over imageDirectory + every name, reports stages 0, 1 and 2 and writes its
    // log lines to `log`. A photograph that cannot be decoded is left out like an unrelated one,
    // its reason in its record; so is a repeat of an earlier photograph's view. Not ok when fewer
    // than two can be read or feature memory runs out: the match table is then empty and the
    // records must not be used. Everything the stage keeps between its steps (the feature
    // library's pools, the verification's random sequence, the searches' state) is its own and
    // starts afresh at every call, so two calls over the same photographs give the same result.
    MatchingResult matchingStage(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                                 ProgressReporter& progress, std::ostream& log, ThreadPool* pool = nullptr) const;

    const FeatureOptions featureOptions;
    const RansacOptions ransacOptions;
    const FeatureBudget budget;
};

// The automatic alpha: clamp(total features * 0.015 / n, alphaMin, alphaMax).
float automaticAlpha(int64_t totalFeatures, int32_t n, const RansacOptions& options);

}  // namespace vantorra
