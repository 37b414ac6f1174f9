#include "render/no_blend.h"

#include <algorithm>

#include "render/block_samples.h"
#include "render/image_loop.h"
#include "render/samplers.h"
#include "render/seam_finder.h"

namespace vantorra {

int64_t NoBlending::blockPixelBytes(const RenderOptions&, int depth, bool labels) const {
    // With labels: block, sums and the largest weight; per photograph its samples, weight and mask.
    return labels ? 32 + 20 * int64_t{std::max(1, depth)} : 12;
}

void NoBlending::compose(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                         int blockRows, int blockCols) const {
    if (context.seams.labels()) {
        composeFromLabels(block, context, footprints, blockRows, blockCols, 0.0f);
        return;
    }
    block.allocate(blockRows, blockCols, 3);
    forEachImage(context, footprints,
                 [&](const SourceView& source, const RenderRegion& region, const PanoramaGrid& grid,
                     const PixelProjection& P) { sampleNearest(block, source, region, grid, context.projection, P); });
}

}  // namespace vantorra
