#include "render/no_blend.h"

#include "render/image_loop.h"
#include "render/samplers.h"

namespace vantorra {

void NoBlending::compose(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                         int blockRows, int blockCols) const {
    block.allocate(blockRows, blockCols, 3);
    forEachImage(context, footprints,
                 [&](const SourceView& source, const RenderRegion& region, const PanoramaGrid& grid,
                     const PixelProjection& P) { sampleNearest(block, source, region, grid, context.projection, P); });
}

}  // namespace vantorra
