#pragma once
// The first half of the matching stage: every image decoded, reduced and searched for features,
// then all features matched against each other into per-pair counts and positions.

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

// Per-image results of the feature stage.
struct FeatureStageOutputs {
    std::vector<Photograph>& photographs;  // one per name, in order
    int64_t& featureImageMemory;           // bytes of the kept feature images and thumbnails
    // An unreadable photograph is left out (its reason in its record) instead of ending the stage.
    bool leaveOutUnreadable = false;
};

// Prepares every image (imageDirectory + name) in order, then fills count and the positions of
// `matches` (already n x n and empty) from nearest-neighbour matching. Releases pools 1, 3 and 4
// before returning. A photograph that cannot be decoded is left out (no features, size 0 x 0)
// and its reason recorded in its record, so it stays outside the panorama like an unrelated one.
// So is a photograph showing the same view as an earlier one (identical, or a mean thumbnail
// difference under 4 levels): "PATH: the same view as EARLIER". False with the reason in *error
// when fewer than two photographs can be read, or when an image cannot be read and unreadable
// ones are not left out, or the feature library runs out of memory; the outputs are then
// incomplete and must not be used. totalFeatures receives the number of features of all images.
// Photographs are decoded and searched for features a few at a time in parallel on `pool` (when
// there is one), each thread in its own feature workspace; the calling thread takes them in
// order, so features, log and outcome are those of one thread.
bool loadAndMatch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                  const FeatureOptions& options, const FeatureBudget& budget, ProgressReporter& progress,
                  std::ostream& log,
                  const FeatureStageOutputs& outputs, MatchTable& matches, int64_t& totalFeatures,
                  std::string* error, ThreadPool* pool = nullptr);

}  // namespace vantorra
