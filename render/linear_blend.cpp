#include "render/linear_blend.h"

#include <algorithm>
#include <cmath>

#include "render/block_buffers.h"
#include "render/block_samples.h"
#include "render/image_loop.h"
#include "render/samplers.h"
#include "render/seam_finder.h"

namespace vantorra {

int64_t LinearBlending::blockPixelBytes(const RenderOptions&, int depth, bool labels) const {
    // With labels: block, sums and the largest weight; per photograph its samples, weight, mask
    // and the row pass of the mask's blur.
    return labels ? 32 + 32 * int64_t{std::max(1, depth)} : 16;
}

int LinearBlending::blockMargin(const RenderOptions& options, bool labels) const {
    return labels ? static_cast<int>(std::floor(3.0f * options.blendingSigma + 0.5f)) : 0;
}

void LinearBlending::compose(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                             int blockRows, int blockCols) const {
    if (context.seams.labels()) {
        BlockBuffers own;
        composeFromLabels(block, context, footprints, blockRows, blockCols, context.options.blendingSigma,
                          context.buffers != nullptr ? *context.buffers : own);
        return;
    }
    block.allocate(blockRows, blockCols, 3);
    BlockBuffers own;
    FloatImage& weightSum = (context.buffers != nullptr ? *context.buffers : own).weightSum;
    weightSum.allocate(blockRows, blockCols, 1);
    forEachImage(context, footprints,
                 [&](const SourceView& source, const RenderRegion& region, const PanoramaGrid& grid,
                     const PixelProjection& P) {
                     sampleNearestWeighted(block, weightSum, source, region, grid, context.projection, P);
                 });
    context.progress.report(ProgressReporter::Blending, 1, 2);
    const size_t pixels = static_cast<size_t>(blockRows) * static_cast<size_t>(blockCols);
    for (size_t p = 0; p < pixels; ++p) {
        const float w = weightSum.data[p];
        if (w > 0.0f)
            for (size_t k = 0; k < 3; ++k) block.data[p * 3 + k] /= w;
    }
    context.progress.report(ProgressReporter::Blending, 2, 2);
}

}  // namespace vantorra
