#pragma once
// The first half of the matching stage: every image decoded, reduced and searched for features,
// then all features matched against each other into per-pair counts and positions.

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

// Per-image results of the feature stage, written into the Stitcher's lists.
struct FeatureStageOutputs {
    std::vector<ImageSize>& imageSizes;
    std::vector<int32_t>& featureLevels;
    std::vector<FloatImage>& featureImages;
    std::vector<FloatImage>& thumbnails;
    std::vector<int32_t>& thumbnailLevels;
    int64_t& featureImageMemory;
    // Per image: why it could not be decoded and was left out, or empty. Without it an unreadable
    // photograph ends the stage.
    std::vector<std::string>* skippedReasons = nullptr;
};

// Prepares every image (imageDirectory + name) in order, then fills count and the positions of
// `matches` (already n x n and empty) from nearest-neighbour matching. Releases pools 1, 3 and 4
// before returning. A photograph that cannot be decoded is left out (no features, size 0 x 0)
// and its reason recorded in skippedReasons, so it stays outside the panorama like an unrelated
// one. So is a photograph showing the same view as an earlier one (identical, or a mean
// thumbnail difference under 4 levels): "PATH: the same view as EARLIER". False with the reason in *error when fewer than two photographs can be read, or when an
// image cannot be read and there is no skippedReasons, or the feature library runs out of
// memory; the outputs are then incomplete and must not be used.
// totalFeatures receives the number of features of all images.
// Photographs are decoded and searched for features a few at a time in parallel on `pool` (when
// there is one), each thread in its own feature workspace; the calling thread takes them in
// order, so features, log and outcome are those of one thread.
bool loadAndMatch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                  const FeatureOptions& options, ProgressReporter& progress,
                  const FeatureStageOutputs& outputs, MatchTable& matches, int64_t& totalFeatures,
                  std::string* error, ThreadPool* pool = nullptr);

}  // namespace vantorra
