#pragma once
// No blending: nearest-neighbour pasting in component order, each later photograph replacing
// earlier ones where they overlap. Needs no margin and no working images beyond the block.
// With labelled seams each pixel is the (bilinear) sample of the photograph its label names.

#include "render/compositor.h"

namespace vantorra {

class NoBlending final : public Compositor {
public:
    // The block; with labels, the samples of every photograph meeting at a pixel.
    int64_t blockPixelBytes(const RenderOptions&, int depth, bool labels) const override;
    void compose(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                 int blockRows, int blockCols) const override;
};

}  // namespace vantorra
