#pragma once
// Multi-band compositing of one render block: every image is warped bilinearly into the block,
// the render's seams give each pixel to one image (a winner mask per image), and the images are
// split into band-pass layers by repeated blurring, each layer blended with a progressively
// blurred winner mask, the last (lowest) layer with the tent weights themselves. Seams that
// label every pixel weight every layer from the labels instead: the finest with the sharp mask,
// each coarser one with the mask blurred once more, the last with it where the image is seen,
// so no band carries an image's colour far across a seam. The block
// margin (blendingBands blur radii) gives the blurs room, so blocks join without a seam.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/image.h"
#include "render/compositor.h"
#include "render/footprint.h"
#include "render/render_context.h"

namespace vantorra {

class MultiBandBlending final : public Compositor {
public:
    // Block, colour and weight sums, the largest weight and a low-pass image; per photograph
    // meeting at a pixel its warped image, weight, mask and the row pass of a blur.
    int64_t blockPixelBytes(const RenderOptions&, int depth, bool) const override {
        return 44 + 32 * int64_t{std::max(1, depth)};
    }
    // blendingBands blur radii, unless the options turn the margin off.
    int blockMargin(const RenderOptions& options, bool labels) const override;
    // Uses blendingBands layers of blur blendingSigma.
    void compose(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                 int blockRows, int blockCols) const override;
};

}  // namespace vantorra
