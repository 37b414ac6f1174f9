#include "matching/load_and_match.h"

#include <iostream>

#include "features/arena_pools.h"
#include "features/feature_image.h"
#include "matching/neighbour_matching.h"

namespace vantorra {

namespace {

// Features, the tree and every scratch raster die with the stage; only counts and positions
// survive it.
void releaseFeatureStorage() {
    poolRelease(kScratchPool);
    poolRelease(kTreePool);
    poolRelease(kFeaturePool);
}

bool fail(std::string* error, const std::string& reason) {
    releaseFeatureStorage();
    if (error != nullptr) *error = reason;
    return false;
}

}  // namespace

bool loadAndMatch(const std::string& imageDirectory, const std::vector<std::string>& imageNames,
                  const FeatureOptions& options, ProgressReporter& progress,
                  const FeatureStageOutputs& outputs, MatchTable& matches, int64_t& totalFeatures,
                  std::string* error) {
    const int n = static_cast<int>(imageNames.size());
    std::cout << "[ Load images and extract SIFT features ]" << std::endl;
    outputs.imageSizes.assign(n, ImageSize{});
    outputs.featureLevels.assign(n, 0);
    outputs.featureImages.assign(n, FloatImage{});
    outputs.thumbnails.assign(n, FloatImage{});
    outputs.thumbnailLevels.assign(n, 0);
    outputs.featureImageMemory = 0;
    if (outputs.skippedReasons) outputs.skippedReasons->assign(n, std::string());
    std::vector<Feature*> lists(n, nullptr);
    int readable = 0;
    for (int i = 0; i < n; ++i) {
        std::string reason;
        if (prepareImage(i, n, imageDirectory + imageNames[i], options, progress,
                         outputs.imageSizes[i], outputs.featureImages[i], outputs.featureLevels[i],
                         outputs.thumbnails[i], outputs.thumbnailLevels[i],
                         outputs.featureImageMemory, lists[i], &reason)) {
            ++readable;
            continue;
        }
        // A size means the photograph was decoded and the feature library failed: that ends the
        // run. Otherwise the file is left out (the reader's reasons already name it).
        if (outputs.imageSizes[i].width > 0 || !outputs.skippedReasons) return fail(error, reason);
        std::cout << "  Image " << i << " left out: " << reason << std::endl;
        (*outputs.skippedReasons)[static_cast<size_t>(i)] = reason;
        outputs.featureImages[i].release();
        outputs.thumbnails[i].release();
        outputs.featureLevels[i] = 0;
        outputs.thumbnailLevels[i] = 0;
        lists[i] = nullptr;
    }
    if (readable < 2 && outputs.skippedReasons) {
        for (const std::string& reason : *outputs.skippedReasons)
            if (!reason.empty()) return fail(error, reason);
    }
    totalFeatures = 0;
    for (const Feature* list : lists)
        for (const Feature* f = list; f != nullptr; f = f->next) ++totalFeatures;
    if (!matchFeatureLists(lists, options, matches, progress))
        return fail(error, "SIFT - Failed to allocate memory");
    std::cout << "Free SIFT storage" << std::endl;
    releaseFeatureStorage();
    return true;
}

}  // namespace vantorra
