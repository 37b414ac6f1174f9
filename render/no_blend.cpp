#include "render/no_blend.h"

#include <algorithm>

#include "render/block_buffers.h"
#include "render/block_samples.h"
#include "render/image_loop.h"
#include "render/samplers.h"
#include "render/seam_finder.h"

namespace vantorra {

int64_t NoBlending::blockPixelBytes(const RenderOptions&, int depth, bool labels) const {
    // With labels: block, nearest paste, sums and the largest weight; per photograph its samples,
    // weight and mask.
    return labels ? 44 + 20 * int64_t{std::max(1, depth)} : 12;
}

void NoBlending::compose(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                         int blockRows, int blockCols) const {
    const bool labels = context.seams.labels();
    BlockBuffers own;
    BlockBuffers& buffers = context.buffers != nullptr ? *context.buffers : own;
    if (labels) composeFromLabels(block, context, footprints, blockRows, blockCols, 0.0f, buffers);
    // Pasted by the later photograph's nearest sample: the block itself, or with labels the
    // rim that no bilinear sample reaches (a photograph's last row and column).
    FloatImage& pasted = labels ? buffers.low : block;
    pasted.allocate(blockRows, blockCols, 3);
    forEachImage(context, footprints,
                 [&](const SourceView& source, const RenderRegion& region, const PanoramaGrid& grid,
                     const PixelProjection& P) { sampleNearest(pasted, source, region, grid, context.projection, P); });
    if (!labels) return;
    const size_t pixels = static_cast<size_t>(blockRows) * static_cast<size_t>(blockCols);
    for (size_t p = 0; p < pixels; ++p)
        if (!(buffers.weightSum.data[p] > 0.0f)) std::copy_n(&pasted.data[3 * p], 3, &block.data[3 * p]);
}

}  // namespace vantorra
