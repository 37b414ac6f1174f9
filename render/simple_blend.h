#pragma once
// The two simple compositors: nearest-neighbour pasting in component order, and the
// tent-weighted (feathered) average. Neither needs a block margin.

#include <vector>

#include "core/image.h"
#include "render/footprint.h"
#include "render/render_context.h"

namespace vantorra {

// Each later image replaces earlier ones where they overlap; uncovered pixels stay 0.
void blendNone(FloatImage& block, const RenderContext& context,
               std::vector<ImageFootprint>& footprints, int blockRows, int blockCols);

// Tent-weighted mean of every image reaching a pixel; pixels of total weight 0 stay 0.
void blendLinear(FloatImage& block, const RenderContext& context,
                 std::vector<ImageFootprint>& footprints, int blockRows, int blockCols);

}  // namespace vantorra
