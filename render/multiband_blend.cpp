#include "render/multiband_blend.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>
#include <utility>

#include "core/progress_reporter.h"
#include "core/row_ranges.h"
#include "render/block_buffers.h"
#include "render/block_samples.h"
#include "render/multiband_layers.h"
#include "render/samplers.h"
#include "render/seam_finder.h"
#include "render/prepared_source.h"

namespace vantorra {

namespace {

// Everything one call keeps for all its bands: the blur taps and the reused buffers.
struct BandWork {
    explicit BandWork(BlockBuffers& b)
        : buffers(b.blur), low(b.low), colourSum(b.colourSum), weightSum(b.weightSum) {}
    std::vector<float> kernel;
    int radius = 0;
    bool edgeFill = true;
    BlurBuffers& buffers;
    FloatImage& low;  // next low-pass of the region being worked on
    FloatImage& colourSum;
    FloatImage& weightSum;
    ThreadPool* pool = nullptr;
    bool labels = false;  // the seams label every pixel: the masks follow them in every band
};

void zeroSums(BandWork& work) {
    clearRows(work.colourSum, work.pool);
    clearRows(work.weightSum, work.pool);
}

// The low-pass of a region's current image, into work.low.
void lowPass(const RenderRegion& region, BandWork& work) {
    if (work.edgeFill) {
        edgeFilledBlur(region.warped, work.low, region, work.kernel, work.radius, work.buffers, work.pool);
        return;
    }
    work.low = region.warped;
    blurInPlace(work.low, work.kernel, work.radius, work.buffers, work.pool);
}

// One band-pass layer: every region's detail between its current image and its next blur,
// weighted by its winner mask blurred once more.
void blendBand(FloatImage& block, const RenderContext& context,
               std::vector<ImageFootprint>& footprints, int band, int& progress, int progressTotal,
               BandWork& work) {
    *context.log << "   Band " << band << std::endl;
    zeroSums(work);
    const std::span<const int32_t> component = context.scene.component;
    const int n = static_cast<int>(component.size());
    for (int i = 0; i < n; ++i) {
        context.progress.report(ProgressReporter::Blending, progress, progressTotal);
        ++progress;
        ImageFootprint& footprint = footprints[i];
        if (!footprint.inBlock) continue;
        *context.log << "    Image " << component[i] << std::endl;
        for (RenderRegion& region : footprint.regions) {
            if (!region.active) continue;
            lowPass(region, work);
            // Labelled seams switch the finest layer at the seam itself; otherwise the mask is
            // blurred before every layer, so the first is already softened.
            if (!work.labels) blurInPlace(region.mask, work.kernel, work.radius, work.buffers, work.pool);
            accumulateDifference(region.warped, work.low, region.mask, region, work.colourSum,
                                 work.weightSum, work.pool);
            if (work.labels) blurInPlace(region.mask, work.kernel, work.radius, work.buffers, work.pool);
            std::swap(region.warped, work.low);
        }
    }
    normaliseInto(block, work.colourSum, work.weightSum, work.pool);
}

// The last layer: what is left after all blurs, weighted by the smooth tent weights.
void blendResidual(FloatImage& block, const RenderContext& context,
                   std::vector<ImageFootprint>& footprints, int band, int bands, int& progress,
                   int progressTotal, BandWork& work) {
    *context.log << "   Band " << band << std::endl;
    zeroSums(work);
    const std::span<const int32_t> component = context.scene.component;
    const int n = static_cast<int>(component.size());
    for (int i = 0; i < n; ++i) {
        ++progress;
        context.progress.report(ProgressReporter::Blending, progress, progressTotal);
        ImageFootprint& footprint = footprints[i];
        if (!footprint.inBlock) continue;
        *context.log << "    Image " << component[i] << std::endl;
        for (RenderRegion& region : footprint.regions) {
            if (!region.active) continue;
            if (work.labels) {  // the mask as blurred for this layer, where the image is seen
                if (bands < 2) blurInPlace(region.mask, work.kernel, work.radius, work.buffers, work.pool);
                keepWhereSeen(region, work.pool);
            }
            accumulate(region.warped, work.labels ? region.mask : region.weight, region, work.colourSum,
                       work.weightSum, work.pool);
        }
    }
    normaliseInto(block, work.colourSum, work.weightSum, work.pool);
}

}  // namespace

int MultiBandBlending::blockMargin(const RenderOptions& options, bool) const {
    if (!options.blockMargin) return 0;
    return options.blendingBands * static_cast<int>(std::floor(3.0f * options.blendingSigma + 0.5f));
}

void MultiBandBlending::compose(FloatImage& block, const RenderContext& context,
                                std::vector<ImageFootprint>& footprints, int blockRows, int blockCols) const {
    const RenderOptions& options = context.options;
    BlockBuffers own;
    BlockBuffers& buffers = context.buffers != nullptr ? *context.buffers : own;
    buffers.maxWeight.reshape(blockRows, blockCols, 1);
    clearRows(buffers.maxWeight, context.pool);
    sampleBlockImages(context, footprints, buffers.maxWeight);
    context.seams.markBlock(footprints, buffers.maxWeight, context.pool);

    *context.log << "  Multi-band blending  " << std::endl;
    block.reshape(blockRows, blockCols, 3);
    clearRows(block, context.pool);
    BandWork work(buffers);
    work.pool = context.pool;
    const float sigma = options.blendingSigma;
    work.radius = static_cast<int>(std::floor(3.0f * sigma + 0.5f));
    if (work.radius > 0) work.kernel = gaussianKernel(sigma, work.radius);
    work.edgeFill = options.edgeFillBlur;
    work.labels = context.seams.labels();
    work.colourSum.reshape(blockRows, blockCols, 3);  // zeroed before every band
    work.weightSum.reshape(blockRows, blockCols, 1);

    const int bands = options.blendingBands;
    const int n = static_cast<int>(context.scene.component.size());
    const int progressTotal = bands * n - 1;
    int progress = 0;
    for (int band = 1; band < bands; ++band)
        blendBand(block, context, footprints, band, progress, progressTotal, work);
    blendResidual(block, context, footprints, bands < 2 ? 1 : bands, bands, progress, progressTotal, work);
}

}  // namespace vantorra
