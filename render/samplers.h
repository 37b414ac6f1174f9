#pragma once
// Mapping panorama pixels back into a source image. Every sampler walks the region's pixel
// rectangle of the block, has the output projection find each pixel's direction from its
// absolute panorama position on the footprint's grid (a run of a row at a time) and projects it
// (through the lens, if bent) into (u, v) = (row, column) of the source.

#include "core/image.h"
#include "core/thread_pool.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"
#include "render/footprint.h"
#include "render/prepared_source.h"
#include "render/projection.h"

namespace vantorra {

// Centre-weighted "tent" weight of source pixel (r, c): 1 at the centre, 0 on the border rows and
// columns (and 0 everywhere for a source one pixel thin).
float tentWeight(int r, int c, int rows, int cols);

// Nearest neighbour: block pixels whose rounded position lies in the source take its channels.
// Samples are read through the view's gains.
void sampleNearest(FloatImage& block, const SourceView& source, const RenderRegion& region,
                   const PanoramaGrid& grid, const Projection& projection, const PixelProjection& P);

// Nearest neighbour with tent weight w: adds w * sample to the block and w to weightSum.
void sampleNearestWeighted(FloatImage& block, FloatImage& weightSum, const SourceView& source,
                           const RenderRegion& region, const PanoramaGrid& grid, const Projection& projection,
                           const PixelProjection& P);

// Bilinear: fills the region's `warped` and `weight` (created zero-filled at the region's size)
// where all four neighbours lie in the source, with weight = tent weight + 1e-6, and raises
// maxWeight (a block-sized, 1-channel image) to it.
// The region's rows may be split over `pool`.
void sampleBilinear(RenderRegion& region, FloatImage& maxWeight, const SourceView& source,
                    const PanoramaGrid& grid, const Projection& projection, const PixelProjection& P,
                    ThreadPool* pool = nullptr);

}  // namespace vantorra
