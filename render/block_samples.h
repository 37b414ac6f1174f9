#pragma once
// The first step of the compositors that read every photograph's bilinear samples in a block:
// each region's warped image and weights, its valid extents, and the largest weight at every
// block pixel, which the render's seams then turn into masks.

#include <vector>

#include "core/image.h"
#include "render/footprint.h"
#include "render/render_context.h"

namespace vantorra {

struct BlockBuffers;

// Samples every photograph in the block into its active regions; `maxWeight` (block-sized, one
// channel, zeroed by the caller) ends as the largest weight at each pixel. A photograph that
// cannot be read leaves the block (its footprint's inBlock is cleared) and is logged.
void sampleBlockImages(const RenderContext& context, std::vector<ImageFootprint>& footprints, FloatImage& maxWeight);

// The block composed from the seams' labels alone: every photograph weighted by its mask where
// it is seen, the masks blurred once with `sigma` first (feathering along the seams) unless
// sigma is 0 (each pixel then is the sample of its label's photograph). `buffers` keeps the
// sums: a pixel whose weight sum is 0 was given no photograph.
void composeFromLabels(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                       int blockRows, int blockCols, float sigma, BlockBuffers& buffers);

}  // namespace vantorra
