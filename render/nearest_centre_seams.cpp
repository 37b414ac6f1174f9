#include "render/nearest_centre_seams.h"

#include "core/row_ranges.h"

namespace vantorra {

void computeWinnerMask(RenderRegion& region, const FloatImage& maxWeight, ThreadPool* pool) {
    const FloatImage& weight = region.weight;
    region.mask.reshape(weight.rows, weight.cols, 1);  // every sample set below
    forRowRanges(pool, weight.rows, [&](int first, int end, int) {
        for (int r = first; r < end; ++r) {
            const float* w = weight.data.data() + static_cast<size_t>(r) * weight.cols;
            const float* m = maxWeight.data.data() +
                             static_cast<size_t>(region.rowFirst + r) * maxWeight.cols + region.colFirst;
            float* mask = region.mask.data.data() + static_cast<size_t>(r) * weight.cols;
            for (int c = 0; c < weight.cols; ++c) mask[c] = (m[c] <= w[c] && m[c] > 0.0f) ? 1.0f : 0.0f;
        }
    });
}

std::unique_ptr<BlockSeams> NearestCentreSeams::find(const SeamInput&) const {
    return std::make_unique<NearestCentreSeams>();
}

void NearestCentreSeams::markBlock(std::vector<ImageFootprint>& footprints, const FloatImage& maxWeight,
                                   ThreadPool* pool) const {
    for (ImageFootprint& footprint : footprints)
        for (RenderRegion& region : footprint.regions)
            if (footprint.inBlock && region.active) computeWinnerMask(region, maxWeight, pool);
}

}  // namespace vantorra
