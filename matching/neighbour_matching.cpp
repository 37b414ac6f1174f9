#include "matching/neighbour_matching.h"

#include <algorithm>
#include <iostream>

#include "matching/kd_tree.h"

namespace vantorra {

int32_t neighbourCount(const FeatureOptions& options) {
    return std::max(options.nearestNeighbours, options.maxMatchesPerFeature + 1);
}

int64_t matchedFeatureBytes(const FeatureOptions& options) {
    const auto pooled = [](size_t bytes) { return static_cast<int64_t>((bytes + 7) / 8 * 8); };  // pool granules
    return pooled(sizeof(Feature)) + pooled(kDescriptorLength) +
           static_cast<int64_t>(neighbourCount(options)) * static_cast<int64_t>(sizeof(Feature*)) +
           pooled(sizeof(KdNode)) + int64_t{options.maxMatchesPerFeature} * 4 * static_cast<int64_t>(sizeof(float));
}

int32_t ratioTest(Feature* const* neighbours, int32_t found, const FeatureOptions& options) {
    if (found <= 0) return 0;
    // Distances are squared, so 0.8 here is a ratio of about 0.894 on plain distances.
    const float limit = options.distanceRatio * static_cast<float>(neighbours[found - 1]->distance);
    int32_t accepted = 0;
    while (accepted < options.maxMatchesPerFeature && accepted < found &&
           static_cast<float>(neighbours[accepted]->distance) < limit)
        ++accepted;
    return accepted;
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

void searchAll(Feature* all, int32_t n, int32_t k, std::vector<Feature*>& neighbourStore,
               const FeatureOptions& options, MatchTable& matches, ProgressReporter& progress) {
    std::cout << "[ Find nearest neighbours  ]" << std::endl;
    int32_t previousImage = -1;
    size_t slot = 0;
    for (Feature* f = all; f != nullptr; f = f->next, slot += static_cast<size_t>(k)) {
        if (f->image != previousImage) {
            previousImage = f->image;
            std::cout << "  Image " << f->image << std::endl;
            progress.report(ProgressReporter::Matching, f->image, n - 1);
        }
        f->neighbours = &neighbourStore[slot];
        const int32_t found = findNeighbours(f, k, f->neighbours);
        // The distances live in the neighbours themselves: read them before the next search.
        f->matchCount = ratioTest(f->neighbours, found, options);
        for (int32_t l = 0; l < f->matchCount; ++l) ++matches.count(f->image, f->neighbours[l]->image);
    }
}

void fillMatches(Feature* all, int32_t n, MatchTable& matches) {
    std::cout << "[ Build match array        ]" << std::endl;
    std::cout << "[ Allocate Space for match array ]" << std::endl;
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
            std::cout << "  Image " << f->image << std::endl;
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

bool matchFeatureLists(const std::vector<Feature*>& lists, const FeatureOptions& options,
                       MatchTable& matches, ProgressReporter& progress) {
    const int32_t n = static_cast<int32_t>(lists.size());
    int64_t total = 0;
    Feature* all = joinLists(lists, total);
    if (all == nullptr) {
        std::cout << "No features found!" << std::endl;
        return true;
    }
    std::cout << "[ Build k-d tree           ]" << std::endl;
    if (!buildTree(all)) return false;
    const int32_t k = neighbourCount(options);
    // One block for every neighbour array of the stage, released with it.
    std::vector<Feature*> neighbourStore(static_cast<size_t>(total) * std::max(k, 1), nullptr);
    searchAll(all, n, k, neighbourStore, options, matches, progress);
    fillMatches(all, n, matches);
    for (Feature* f = all; f != nullptr; f = f->next) f->neighbours = nullptr;
    releaseTree();
    return true;
}

}  // namespace vantorra
