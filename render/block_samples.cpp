#include "render/block_samples.h"

#include <cmath>
#include <ostream>

#include "core/progress_reporter.h"
#include "core/row_ranges.h"
#include "render/block_buffers.h"
#include "render/multiband_layers.h"
#include "render/prepared_source.h"
#include "render/samplers.h"
#include "render/seam_finder.h"

namespace vantorra {

void sampleBlockImages(const RenderContext& context, std::vector<ImageFootprint>& footprints,
                       FloatImage& maxWeight) {
    *context.log << "  Sample images  " << std::endl;
    const RenderScene& scene = context.scene;
    const int n = static_cast<int>(scene.component.size());
    for (int i = 0; i < n; ++i) {
        context.progress.report(ProgressReporter::Rendering, i, n - 1);
        ImageFootprint& footprint = footprints[i];
        if (!footprint.inBlock) continue;
        const int image = scene.component[i];
        static const PreparedSource kMissing;
        const PreparedSource& source =
            static_cast<size_t>(i) < context.sources.size() ? context.sources[static_cast<size_t>(i)] : kMissing;
        if (source.empty()) {
            // A photograph that cannot be read leaves its part of the block to the others.
            *context.log << "   Image " << image << " skipped: " << source.error << std::endl;
            footprint.inBlock = false;
            continue;
        }
        *context.log << "   Image " << image << std::endl;
        const SourceView view = source.view();
        for (RenderRegion& region : footprint.regions) {
            if (!region.active) continue;
            sampleBilinear(region, maxWeight, view, footprint.grid, context.projection, source.projection,
                           context.pool);
            computeValidExtents(region, context.pool);
        }
    }
}

void composeFromLabels(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                       int blockRows, int blockCols, float sigma, BlockBuffers& buffers) {
    buffers.maxWeight.reshape(blockRows, blockCols, 1);
    clearRows(buffers.maxWeight, context.pool);
    sampleBlockImages(context, footprints, buffers.maxWeight);
    context.seams.markBlock(footprints, buffers.maxWeight, context.pool);
    const int radius = static_cast<int>(std::floor(3.0f * sigma + 0.5f));
    const std::vector<float> kernel = radius > 0 ? gaussianKernel(sigma, radius) : std::vector<float>{};
    buffers.colourSum.reshape(blockRows, blockCols, 3);
    buffers.weightSum.reshape(blockRows, blockCols, 1);
    clearRows(buffers.colourSum, context.pool);
    clearRows(buffers.weightSum, context.pool);
    context.progress.report(ProgressReporter::Blending, 1, 2);
    for (ImageFootprint& footprint : footprints) {
        if (!footprint.inBlock) continue;
        for (RenderRegion& region : footprint.regions) {
            if (!region.active) continue;
            if (radius > 0) {
                blurInPlace(region.mask, kernel, radius, buffers.blur, context.pool);
                keepWhereSeen(region, context.pool);
            }
            accumulate(region.warped, region.mask, region, buffers.colourSum, buffers.weightSum, context.pool);
        }
    }
    block.reshape(blockRows, blockCols, 3);
    clearRows(block, context.pool);
    normaliseInto(block, buffers.colourSum, buffers.weightSum, context.pool);
    context.progress.report(ProgressReporter::Blending, 2, 2);
}

}  // namespace vantorra
