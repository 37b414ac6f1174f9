#pragma once
// Linear blending: the tent-weighted mean of every photograph reaching a pixel, which fades each
// out towards its border (feathering). Needs no margin; a pixel of total weight 0 stays 0.
// With labelled seams it feathers along the seams instead: each photograph weighted by its
// label mask blurred once with blendingSigma, which needs that blur's radius as a margin.

#include "render/compositor.h"

namespace vantorra {

class LinearBlending final : public Compositor {
public:
    // Block and weight sum; with labels, the samples of every photograph meeting at a pixel.
    int64_t blockPixelBytes(const RenderOptions&, int depth, bool labels) const override;
    int blockMargin(const RenderOptions& options, bool labels) const override;
    void compose(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                 int blockRows, int blockCols) const override;
};

}  // namespace vantorra
