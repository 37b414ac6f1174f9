#pragma once
// The per-region steps of multi-band blending, kept apart from the block driver so that each
// can be checked on its own: the in-place blur, the valid extents and the edge-filled blur,
// and accumulation into the block's sums. Each step may split its rows over a
// thread pool; the samples come out the same without one.

#include <vector>

#include "core/image.h"
#include "core/thread_pool.h"
#include "render/footprint.h"

namespace vantorra {

// Work buffers reused by every blur of a block, so blurring allocates nothing once they have
// grown to the largest region.
struct BlurBuffers {
    // Per thread of the pool, one row with `radius` edge copies on either side.
    std::vector<std::vector<float>> extendedRows;
    FloatSamples rowPass;  // the image after the row pass: every sample written before it is read
    std::vector<std::vector<const float*>> tapRows;  // per thread, the row pass rows one output row sums
};

// Separable blur of `image` in place with the 2 * radius + 1 taps of `kernel`, along rows and
// then columns, edge samples repeated: the same result as separableFilter. radius <= 0 leaves
// the image unchanged.
void blurInPlace(FloatImage& image, const std::vector<float>& kernel, int radius,
                 BlurBuffers& buffers, ThreadPool* pool = nullptr);

// Per region row the first and last column with weight > 0, per column the first and last row;
// a row or column without any gets its last index for both. Rows, then columns, are split over
// `pool` when there is one; each extent is found by the same scan whatever the split.
void computeValidExtents(RenderRegion& region, ThreadPool* pool = nullptr);

// Blur of a region image into `image` (not `source` itself) that first fills the pixels outside
// the valid extents from the nearest valid samples (half from the row's edge, half from the
// column's), so the image's dark surroundings stay out of its low-pass; the filled pixels are
// zeroed again afterwards.
void edgeFilledBlur(const FloatImage& source, FloatImage& image, const RenderRegion& region,
                    const std::vector<float>& kernel, int radius, BlurBuffers& buffers,
                    ThreadPool* pool = nullptr);

// Adds image x w to the block's colour sum (3 channels) and w to its weight sum at the region's
// pixels whose w > 0. A one-channel image feeds all three colour channels.
void accumulate(const FloatImage& image, const FloatImage& w, const RenderRegion& region,
                FloatImage& colourSum, FloatImage& weightSum, ThreadPool* pool = nullptr);

// Adds (image - low) x w, the band-pass layer between the region's current and next low-pass
// images, like accumulate() but without building the layer image.
void accumulateDifference(const FloatImage& image, const FloatImage& low, const FloatImage& w,
                          const RenderRegion& region, FloatImage& colourSum,
                          FloatImage& weightSum, ThreadPool* pool = nullptr);

// Sets the region's mask to 0 where its weight is not above 0 (where the image has no sample).
void keepWhereSeen(RenderRegion& region, ThreadPool* pool = nullptr);

// Adds colourSum / weightSum to every channel of `block` where weightSum > 0.
void normaliseInto(FloatImage& block, const FloatImage& colourSum, const FloatImage& weightSum,
                   ThreadPool* pool = nullptr);

}  // namespace vantorra
