#pragma once
// Linear blending: the tent-weighted mean of every photograph reaching a pixel, which fades each
// out towards its border (feathering). Needs no margin; a pixel of total weight 0 stays 0.

#include "render/compositor.h"

namespace vantorra {

class LinearBlending final : public Compositor {
public:
    int64_t blockPixelBytes(const RenderOptions&, int) const override { return 16; }  // block, weight sum
    void compose(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                 int blockRows, int blockCols) const override;
};

}  // namespace vantorra
