#pragma once
// The working images of one block in flight, kept from block to block so that a render makes
// them once and reuses their storage: the block itself, the footprints clipped to it (whose
// regions carry the warped images, weights and masks) and the blender's sums and blur rows.

#include <vector>

#include "core/image.h"
#include "render/footprint.h"
#include "render/multiband_layers.h"

namespace vantorra {

struct BlockBuffers {
    FloatImage block;
    std::vector<ImageFootprint> footprints;  // clipped with clipFootprintInto
    FloatImage maxWeight, low, colourSum, weightSum;
    BlurBuffers blur;
};

}  // namespace vantorra
