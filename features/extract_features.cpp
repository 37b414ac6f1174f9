#include "features/extract_features.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "features/arena_pools.h"
#include "features/blur.h"
#include "features/extrema.h"
#include "features/gradients.h"
#include "features/lookup_tables.h"
#include "features/keypoint_orientation.h"
#include "features/pyramid.h"
#include "features/refinement.h"

namespace vantorra {

namespace {

// Difference-of-Gaussian levels (kept in the storage of the blurred inputs) with the gradient
// images of their blurs. Entries below `skip` hold no difference or gradients.
struct Pyramid {
    GreyRaster* dog[kMaxLevels] = {};
    GradientImages gradients[kMaxLevels] = {};
    int levels = 0;
    int skip = 0;
    bool doubled = false;
};

// The blurred copy of a level is dead once its gradients and the next level are made, so one
// buffer sized for the first (largest) level serves every level.
void copyIntoScratch(const GreyRaster& source, GreyRaster& scratch) {
    float* pixels = scratch.data[0];
    scratch.rows = source.rows;
    scratch.cols = source.cols;
    for (int r = 0; r < source.rows; ++r) {
        scratch.data[r] = pixels + static_cast<size_t>(r) * source.cols;
        std::copy(source.data[r], source.data[r] + source.cols, scratch.data[r]);
    }
}

bool buildLevel(Pyramid& pyramid, GreyRaster* level, GreyRaster& blurred, GreyRaster*& next) {
    const int index = pyramid.levels;
    copyIntoScratch(*level, blurred);
    if (!blurSevenTaps(blurred)) return false;
    if (index >= pyramid.skip) {
        subtractInPlace(*level, blurred);
        if (!allocGradientImages(level->rows, level->cols, pyramid.gradients[index])) return false;
        computeGradients(blurred, pyramid.gradients[index]);
    }
    pyramid.dog[index] = level;
    next = resampleTwoThirds(blurred);
    return next != nullptr;
}

bool buildPyramid(const GreyRaster& grey, int mode, Pyramid& pyramid) {
    // Modes below 0 behave as 0: the search range must never reach below the first level.
    pyramid.doubled = mode < 2;
    pyramid.skip = mode >= 2 ? mode - 2 : std::max(mode, 0);
    GreyRaster* level = pyramid.doubled ? doubleRaster(grey) : copyRaster(grey);
    if (level == nullptr || !blurNineTaps(*level)) return false;
    if (level->rows <= kMinLevelSize || level->cols <= kMinLevelSize) return true;
    GreyRaster* blurred = allocGreyRaster(level->rows, level->cols, kScratchPool);
    if (blurred == nullptr) return false;
    while (level->rows > kMinLevelSize && level->cols > kMinLevelSize && pyramid.levels < kMaxLevels) {
        GreyRaster* next = nullptr;
        if (!buildLevel(pyramid, level, *blurred, next)) return false;
        ++pyramid.levels;
        level = next;
    }
    return true;
}

// Searches difference level s; every candidate that survives the tests and the refinement
// becomes one feature per dominant orientation.
Feature* searchLevel(const Pyramid& pyramid, int s, Feature* head, bool& failed) {
    const GreyRaster& finer = *pyramid.dog[s - 1];
    const GreyRaster& dog = *pyramid.dog[s];
    const GreyRaster& coarser = *pyramid.dog[s + 1];
    const int first = kSearchBorder, last = dog.cols - kSearchBorder - 1;
    std::vector<float> highest(static_cast<size_t>(std::max(dog.cols, 0)));
    std::vector<float> lowest(highest.size());
    for (int i = kSearchBorder; i <= dog.rows - kSearchBorder - 1; ++i) {
        const float* line = dog.data[i];
        // The level's own test for the whole row at once; most values fail it.
        neighbourhoodExtremes(dog, i, first, last, highest.data(), lowest.data());
        for (int j = first; j <= last; ++j) {
            const float v = line[j];
            if (!(std::fabs(v) > kPreThreshold)) continue;
            if (!(v > 0.0f ? highest[static_cast<size_t>(j)] <= v : lowest[static_cast<size_t>(j)] >= v)) continue;
            if (!isExtremumAcrossLevels(finer, coarser, i, j, v)) continue;
            if (!passesEdgeTest(dog, i, j)) continue;
            RefinedKeypoint keypoint;
            if (!refineCandidate(finer, dog, coarser, i, j, s, pyramid.doubled, keypoint)) continue;
            head = addOrientedFeatures(pyramid.gradients[s], keypoint, head, failed);
            if (failed) return head;
        }
    }
    return head;
}

}  // namespace

int doubledSize(int n) { return std::max(0, 2 * n - 2); }

int resampledSize(int n) { return 2 * n / 3; }

Feature* extractFeatures(const GreyRaster& grey, int detectorMode, bool* failed) {
    if (failed != nullptr) *failed = false;
    fillLookupTables();
    Pyramid pyramid;
    bool failure = !buildPyramid(grey, detectorMode, pyramid);
    Feature* head = nullptr;
    for (int s = pyramid.skip + 1; !failure && s <= pyramid.levels - 2; ++s)
        head = searchLevel(pyramid, s, head, failure);
    if (failure) {
        if (failed != nullptr) *failed = true;
        return nullptr;
    }
    return head;
}

}  // namespace vantorra
