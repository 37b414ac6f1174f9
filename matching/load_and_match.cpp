#include "matching/load_and_match.h"

#include <algorithm>
#include <iostream>
#include <utility>

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
                  std::string* error, ThreadPool* pool) {
    const int n = static_cast<int>(imageNames.size());
    std::cout << "[ Load images and extract SIFT features ]" << std::endl;
    outputs.imageSizes.assign(n, ImageSize{});
    outputs.featureLevels.assign(n, 0);
    outputs.featureImages.assign(n, FloatImage{});
    outputs.thumbnails.assign(n, FloatImage{});
    outputs.thumbnailLevels.assign(n, 0);
    outputs.featureImageMemory = 0;
    std::vector<Feature*> lists(n, nullptr);
    // One photograph per thread decoded at a time: the batch bounds the decoded images held.
    const int batch = pool != nullptr ? pool->size() : 1;
    std::vector<DecodedFeatureImage> decoded(static_cast<size_t>(batch));
    for (int start = 0; start < n; start += batch) {
        const int count = std::min(batch, n - start);
        auto decode = [&](size_t k, int) {
            decoded[k] = decodeFeatureImage(imageDirectory + imageNames[start + static_cast<int>(k)], options);
        };
        if (pool != nullptr) pool->parallelFor(static_cast<size_t>(count), decode);
        else decode(0, 0);
        for (int k = 0; k < count; ++k) {
            const int i = start + k;
            std::string reason;
            if (!prepareDecodedImage(i, n, std::move(decoded[static_cast<size_t>(k)]), options, progress,
                                     outputs.imageSizes[i], outputs.featureImages[i],
                                     outputs.featureLevels[i], outputs.thumbnails[i],
                                     outputs.thumbnailLevels[i], outputs.featureImageMemory, lists[i],
                                     &reason))
                return fail(error, reason);  // the reader's reasons already name the file
        }
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
