#pragma once
// Multi-band compositing of one render block: every image is warped bilinearly into the block,
// each pixel goes to the image with the largest tent weight there, and the images are split into
// band-pass layers by repeated blurring, each layer blended with a progressively blurred winner
// mask, the last (lowest) layer with the tent weights themselves.

#include <vector>

#include "core/image.h"
#include "render/footprint.h"
#include "render/render_context.h"

namespace vantorra {

// Fills `block` (blockRows x blockCols x 3) from every image whose footprint is in the block,
// using blendingBands layers of blur blendingSigma; a pixel no image covers stays 0.
void blendMultiBand(FloatImage& block, const RenderContext& context,
                    std::vector<ImageFootprint>& footprints, int blockRows, int blockCols);

}  // namespace vantorra
