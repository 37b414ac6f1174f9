#pragma once
// No blending: nearest-neighbour pasting in component order, each later photograph replacing
// earlier ones where they overlap. Needs no margin and no working images beyond the block.

#include "render/compositor.h"

namespace vantorra {

class NoBlending final : public Compositor {
public:
    int64_t blockPixelBytes(const RenderOptions&, int) const override { return 12; }  // the block
    void compose(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                 int blockRows, int blockCols) const override;
};

}  // namespace vantorra
