#include "matching/load_and_match.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <utility>

#include "core/ordered_tasks.h"
#include "features/arena_pools.h"
#include "features/feature_image.h"
#include "features/feature_workspace.h"
#include "matching/neighbour_matching.h"
#include "matching/repeated_views.h"

namespace vantorra {

namespace {

// Features, the tree and every scratch raster die with the stage; only counts and positions
// survive it.
void releaseFeatureStorage() {
    poolRelease(kScratchPool);
    poolRelease(kTreePool);
    poolRelease(kFeaturePool);
}

int64_t imageBytes(const FloatImage& image) { return static_cast<int64_t>(image.sampleCount()) * 4; }

// Leaves image i out of matching, keeping its size; its reason names it once.
void leaveOut(int i, const std::string& reason, const FeatureStageOutputs& outputs, std::vector<Feature*>& lists,
              std::ostream& log) {
    log << "  Image " << i << " left out: " << reason << std::endl;
    Photograph& photograph = outputs.photographs[static_cast<size_t>(i)];
    photograph.leftOut = reason;
    outputs.featureImageMemory -= imageBytes(photograph.featureImage) + imageBytes(photograph.thumbnail);
    photograph.featureImage.release();
    photograph.thumbnail.release();
    photograph.featureLevel = 0;
    photograph.thumbnailLevel = 0;
    lists[i] = nullptr;  // its features stay in the pool until the stage releases it
}

bool fail(std::string* error, const std::string& reason) {
    releaseFeatureStorage();
    if (error != nullptr) *error = reason;
    return false;
}

// Photographs are decoded and their features looked for on the pool's threads, each thread in a
// workspace of its own (one per thread, the caller's: the features live there until the stage
// ends). This thread hands
// each finished photograph to `take` in order as soon as it is ready, so the outcome is the one of
// one thread. At most two finished photographs per thread wait to be taken; otherwise no thread
// waits for another (windows of photographs made every thread wait for the slowest of each
// window). False when `take` ended the stage.
template <typename Take>
bool detectInOrder(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                   const FeatureOptions& options, const FeatureBudget& budget, ThreadPool* pool,
                   std::vector<FeatureWorkspace>& workspaces, Take& take) {
    const size_t places = 2 * workspaces.size();
    std::vector<DetectedFeatureImage> detected(places);
    auto detect = [&](size_t k, int slot) {
        const FeatureWorkspace::Binding bound(workspaces[static_cast<size_t>(slot)]);
        detected[k % places] =
            detectFeatures(decodeFeatureImage(imageDirectory + imageNames[k], options), options, budget);
    };
    auto takeNext = [&](size_t k) {
        DetectedFeatureImage finished = std::move(detected[k % places]);
        return take(static_cast<int>(k), finished);
    };
    return runInOrder(pool, imageNames.size(), places, detect, takeNext);
}

int64_t featureCount(const std::vector<Feature*>& lists) {
    int64_t count = 0;
    for (const Feature* list : lists)
        for (const Feature* f = list; f != nullptr; f = f->next) ++count;
    return count;
}

}  // namespace

bool loadAndMatch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                  const FeatureOptions& options, const FeatureBudget& budget, ProgressReporter& progress,
                  std::ostream& log,
                  const FeatureStageOutputs& outputs, MatchTable& matches, int64_t& totalFeatures,
                  std::string* error, ThreadPool* pool) {
    const int n = static_cast<int>(imageNames.size());
    log << "[ Load images and extract SIFT features ]" << std::endl;
    outputs.photographs.assign(static_cast<size_t>(n), Photograph{});
    for (int i = 0; i < n; ++i) outputs.photographs[static_cast<size_t>(i)].name = imageNames[static_cast<size_t>(i)];
    outputs.featureImageMemory = 0;
    std::vector<Feature*> lists(n, nullptr);
    std::vector<bool> kept(n, false);
    std::vector<Signature> signatures(n);
    int readable = 0;
    // Looks at the results for image i; false when the run must end, with the reason in `failure`.
    std::string failure;
    auto take = [&](int i, DetectedFeatureImage& detected) {
        const std::string path = imageDirectory + imageNames[i];
        Photograph& photograph = outputs.photographs[static_cast<size_t>(i)];
        std::string reason;
        log << "  Image " << i << std::endl;
        progress.report(ProgressReporter::Loading, i, n - 1);
        if (takeDetectedImage(std::move(detected), budget, n, log, photograph, outputs.featureImageMemory, lists[i],
                              &reason)) {
            ++readable;
            // Identical descriptors in two images defeat the ratio test for both, so a repeated
            // view would lose its matches to its neighbours: only the first copy is matched.
            signatures[i] = signatureOf(photograph.thumbnail);
            const int original = outputs.leaveOutUnreadable ? duplicateOf(i, outputs.photographs, kept, signatures) : -1;
            if (original >= 0)
                leaveOut(i, path + ": the same view as " + imageDirectory + imageNames[original], outputs, lists, log);
            else
                kept[i] = true;
            return true;
        }
        // A size means the photograph was decoded and the feature library failed: that ends
        // the run. Otherwise the file is left out (the reader's reasons already name it).
        if (photograph.size.width > 0 || !outputs.leaveOutUnreadable) {
            failure = reason;
            return false;
        }
        leaveOut(i, reason, outputs, lists, log);
        return true;
    };
    std::vector<FeatureWorkspace> workspaces(static_cast<size_t>(pool != nullptr ? pool->size() : 1));
    const bool stopped = !detectInOrder(imageDirectory, imageNames, options, budget, pool, workspaces, take);
    if (stopped) return fail(error, failure);
    if (readable < 2 && outputs.leaveOutUnreadable) {
        for (const Photograph& photograph : outputs.photographs)
            if (!photograph.leftOut.empty()) return fail(error, photograph.leftOut);
    }
    totalFeatures = featureCount(lists);
    if (!matchFeatureLists(lists, options, matches, progress, log, pool))
        return fail(error, "SIFT - Failed to allocate memory");
    log << "Free SIFT storage" << std::endl;
    releaseFeatureStorage();
    return true;
}

}  // namespace vantorra
