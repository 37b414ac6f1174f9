#include "matching/neighbour_matching.h"

#include <algorithm>
#include <atomic>
#include <ostream>

#include "matching/kd_tree.h"

namespace vantorra {

int32_t neighbourCount(const FeatureOptions& options) {
    return std::max(options.nearestNeighbours, options.maxMatchesPerFeature + 1);
}

int64_t matchedFeatureBytes(const FeatureOptions& options) {
    const auto pooled = [](size_t bytes) { return static_cast<int64_t>((bytes + 7) / 8 * 8); };  // pool granules
    // A feature, its descriptor, its neighbours with their distances, its place in the search
    // list, its tree node, its match positions and their place among a pair's inliers.
    return pooled(sizeof(Feature)) + pooled(kDescriptorLength) +
           static_cast<int64_t>(neighbourCount(options)) * static_cast<int64_t>(sizeof(Feature*) + sizeof(float)) +
           static_cast<int64_t>(sizeof(Feature*)) +
           pooled(sizeof(KdNode)) +
           int64_t{options.maxMatchesPerFeature} * static_cast<int64_t>(4 * sizeof(float) + sizeof(int32_t));
}

int32_t ratioTest(const float* distances, int32_t found, const FeatureOptions& options) {
    if (found <= 0) return 0;
    // Distances are squared, so 0.8 here is a ratio of about 0.894 on plain distances.
    const float limit = options.distanceRatio * static_cast<float>(distances[found - 1]);
    int32_t accepted = 0;
    while (accepted < options.maxMatchesPerFeature && accepted < found &&
           static_cast<float>(distances[accepted]) < limit)
        ++accepted;
    return accepted;
}

int32_t ratioTest(Feature* const* neighbours, int32_t found, const FeatureOptions& options) {
    std::vector<float> distances(static_cast<size_t>(std::max(found, 0)));
    for (int32_t l = 0; l < found; ++l) distances[static_cast<size_t>(l)] = static_cast<float>(neighbours[l]->distance);
    return ratioTest(distances.data(), found, options);
}

namespace {

// Links the per-image lists into one list in image order and stamps every feature's image.
Feature* joinLists(const std::vector<Feature*>& lists, int64_t& total) {
    Feature* head = nullptr;
    Feature* tail = nullptr;
    total = 0;
    for (size_t i = 0; i < lists.size(); ++i)
        for (Feature* f = lists[i]; f != nullptr;) {
            Feature* next = f->next;
            f->image = static_cast<int32_t>(i);
            f->next = nullptr;
            (tail != nullptr ? tail->next : head) = f;
            tail = f;
            ++total;
            f = next;
        }
    return head;
}

// Features searched by one task of the parallel pass.
constexpr size_t kSearchChunk = 256;

// Every feature's neighbours, into its k slots of the stores. The features are searched in
// chunks on the pool's threads, each thread with a search state of its own. A search whose heap
// overflowed depends on the overflow counter as the searches before it left it, so those few are
// searched again here, in order, with the counter carried on from one to the next (from 0):
// every feature ends with the neighbours that searching all of them in order gives. Returns the
// final counter.
uint32_t searchAll(const std::vector<Feature*>& features, int32_t n, int32_t k,
                   std::vector<Feature*>& neighbourStore, std::vector<float>& distanceStore,
                   ProgressReporter& progress, ThreadPool* pool) {
    const size_t total = features.size();
    std::vector<uint8_t> overflowed(total, 0);
    std::vector<NeighbourSearch> searches(static_cast<size_t>(pool != nullptr ? pool->size() : 1));
    std::atomic<size_t> searched{0};
    const size_t chunks = (total + kSearchChunk - 1) / kSearchChunk;
    auto searchChunk = [&](size_t chunk, int slot) {
        NeighbourSearch& search = searches[static_cast<size_t>(slot)];
        const size_t end = std::min(total, (chunk + 1) * kSearchChunk);
        for (size_t q = chunk * kSearchChunk; q < end; ++q) {
            const size_t first = q * static_cast<size_t>(k);
            features[q]->matchCount = findNeighbours(features[q], k, &neighbourStore[first], &distanceStore[first], search);
            overflowed[q] = search.overflows > 0;
        }
        searched += end - chunk * kSearchChunk;
    };
    // Progress runs through the images as the searched share grows.
    auto report = [&] {
        const size_t done = searched.load();
        const int32_t image = done < total ? features[done]->image : n - 1;
        progress.report(ProgressReporter::Matching, image, n - 1);
    };
    if (pool != nullptr) pool->parallelFor(chunks, searchChunk, report);
    else
        for (size_t chunk = 0; chunk < chunks; ++chunk) {
            searchChunk(chunk, 0);
            report();
        }
    NeighbourSearch& again = searches[0];
    again.overflowCounter = 0;
    for (size_t q = 0; q < total; ++q) {
        if (!overflowed[q]) continue;
        const size_t first = q * static_cast<size_t>(k);
        features[q]->matchCount = findNeighbours(features[q], k, &neighbourStore[first], &distanceStore[first], again);
    }
    return again.overflowCounter;
}

// Applies the ratio test to every feature's neighbours and counts the matches of each pair.
void acceptMatches(const std::vector<Feature*>& features, int32_t k, std::vector<Feature*>& neighbourStore,
                   const std::vector<float>& distanceStore, const FeatureOptions& options,
                   MatchTable& matches, std::ostream& log) {
    int32_t previousImage = -1;
    for (size_t q = 0; q < features.size(); ++q) {
        Feature* f = features[q];
        if (f->image != previousImage) {
            previousImage = f->image;
            log << "  Image " << f->image << std::endl;
        }
        const size_t first = q * static_cast<size_t>(k);
        f->neighbours = &neighbourStore[first];
        f->matchCount = ratioTest(&distanceStore[first], f->matchCount, options);
        for (int32_t l = 0; l < f->matchCount; ++l) ++matches.count(f->image, f->neighbours[l]->image);
    }
}

void fillMatches(Feature* all, int32_t n, MatchTable& matches, std::ostream& log) {
    log << "[ Build match array        ]" << std::endl;
    log << "[ Allocate Space for match array ]" << std::endl;
    matches.placeCounted();
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j) {
            if (matches.count(i, j) <= 0) continue;
            MatchPoints& points = matches.points(i, j);
            points.first.resize(2, matches.count(i, j));
            points.second.resize(2, matches.count(i, j));
        }
    // The list is in image order, so the pairs of one image are filled before the next image's
    // begin: the columns filled so far are counted for one image at a time.
    std::vector<int32_t> fill(static_cast<size_t>(n), 0);
    int32_t previousImage = -1;
    for (Feature* f = all; f != nullptr; f = f->next) {
        if (f->image != previousImage) {
            previousImage = f->image;
            std::fill(fill.begin(), fill.end(), 0);
            log << "  Image " << f->image << std::endl;
        }
        for (int32_t l = 0; l < f->matchCount; ++l) {
            const Feature* partner = f->neighbours[l];
            const int32_t i = f->image, j = partner->image;
            MatchPoints& points = matches.points(i, j);
            const int32_t column = fill[static_cast<size_t>(j)]++;
            points.first.at(0, column) = static_cast<float>(f->row);
            points.first.at(1, column) = static_cast<float>(f->col);
            points.second.at(0, column) = static_cast<float>(partner->row);
            points.second.at(1, column) = static_cast<float>(partner->col);
        }
    }
}

}  // namespace

bool matchFeatureLists(const std::vector<Feature*>& lists, const FeatureOptions& options, MatchTable& matches,
                       ProgressReporter& progress, std::ostream& log, ThreadPool* pool, uint32_t* overflowCounter) {
    const int32_t n = static_cast<int32_t>(lists.size());
    int64_t total = 0;
    Feature* all = joinLists(lists, total);
    if (all == nullptr) {
        log << "No features found!" << std::endl;
        return true;
    }
    log << "[ Build k-d tree           ]" << std::endl;
    if (!buildTree(all, pool)) return false;
    const int32_t k = neighbourCount(options);
    std::vector<Feature*> features;
    features.reserve(static_cast<size_t>(total));
    for (Feature* f = all; f != nullptr; f = f->next) features.push_back(f);
    // One block for every neighbour array of the stage, released with it.
    const size_t slots = static_cast<size_t>(total) * static_cast<size_t>(std::max(k, 1));
    std::vector<Feature*> neighbourStore(slots, nullptr);
    std::vector<float> distanceStore(slots, 0.0f);
    log << "[ Find nearest neighbours  ]" << std::endl;
    const uint32_t counter = searchAll(features, n, k, neighbourStore, distanceStore, progress, pool);
    if (overflowCounter != nullptr) *overflowCounter = counter;
    acceptMatches(features, k, neighbourStore, distanceStore, options, matches, log);
    fillMatches(all, n, matches, log);
    for (Feature* f = all; f != nullptr; f = f->next) f->neighbours = nullptr;
    releaseTree();
    return true;
}

}  // namespace vantorra
