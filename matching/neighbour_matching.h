#pragma once
// Nearest-neighbour matching of the features of all images against each other: one k-d tree
// over every feature, a best-bin-first search per feature, the distance-ratio test, and the
// per-pair match counts and position lists that verification starts from.

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/progress_reporter.h"
#include "options/stitch_options.h"
#include "core/thread_pool.h"
#include "features/feature.h"
#include "matching/match_table.h"

namespace vantorra {

// Neighbours searched per feature: max(nearestNeighbours, maxMatchesPerFeature + 1).
int32_t neighbourCount(const FeatureOptions& options);

// The memory one feature costs while the features of all images are matched: its record and
// descriptor, its neighbour array, its leaf of the k-d tree and the positions of its matches.
int64_t matchedFeatureBytes(const FeatureOptions& options);

// Leading neighbours accepted: l < maxMatchesPerFeature and distance(l) < distanceRatio * dk,
// stopping at the first failure. dk is the distance of the k-th neighbour, or of the farthest
// found when the other images hold fewer than k features; none found accepts none.
int32_t ratioTest(const float* distances, int32_t found, const FeatureOptions& options);
// The same over the neighbours' own `distance`.
int32_t ratioTest(Feature* const* neighbours, int32_t found, const FeatureOptions& options);

// lists[i] is the feature list of image i (linked through next; may be empty). Joins them in
// place in image order (the lists are consumed), matches every feature and adds count(i, j) and
// the positions to `matches` (already n x n). Columns of a pair follow the joined list, then
// neighbour order. Writes the log lines and reports stage 1. False when the tree's pool runs out
// of memory. The searches run on `pool`'s threads when there is one, with the same outcome: the
// overflow counter of the searches starts at 0 for every call and is carried from search to
// search as one thread in order carries it; its final value goes to *overflowCounter.
bool matchFeatureLists(const std::vector<Feature*>& lists, const FeatureOptions& options, MatchTable& matches,
                       ProgressReporter& progress, std::ostream& log, ThreadPool* pool = nullptr,
                       uint32_t* overflowCounter = nullptr);

}  // namespace vantorra
