#pragma once
// A seam finder decides, for the output pixels two or more photographs cover, which photograph
// each takes. It works in two steps, so that seams can span blocks and still fit the memory
// budget: once per render, before the first block, `find` looks at the whole panorama (at a
// resolution of its own choosing) and returns the render's seams; then, block by block, the
// compositors that pick a photograph per pixel ask those seams to mark each region's mask.
// What the seams hold for the render and per block pixel is counted with everything else
// before the render allocates. Finders are chosen by name from the table in seam_registry.h.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <vector>

#include "core/image.h"
#include "core/thread_pool.h"
#include "options/stitch_options.h"
#include "render/footprint.h"
#include "render/projection.h"
#include "render/render_context.h"

namespace vantorra {

// What a finder may look at before the first block.
struct SeamInput {
    const RenderOptions& options;
    const RenderScene& scene;
    const Gains& gains;
    const Projection& projection;
    const std::vector<ImageFootprint>& footprints;  // placed on the output grid, in component order
    int width = 0, height = 0;                       // the output
    PlaneBounds crop;                                // the plane rectangle the output spans
    int64_t budget = 0;                              // what the render may hold in all
    ThreadPool* pool = nullptr;
    std::ostream& log;
};

// The seams of one render, asked block by block, by several blocks at once on different threads.
class BlockSeams {
public:
    virtual ~BlockSeams() = default;
    // For a block whose active regions (of footprints in the block) hold their samples and
    // weights, `maxWeight` the largest weight at every block pixel: sets each such region's
    // `mask` (its size, one channel) to 1 where its photograph takes the pixel, else 0. Where
    // photographs tie, each gets 1. The region's rows may be split over `pool`.
    virtual void markBlock(std::vector<ImageFootprint>& footprints, const FloatImage& maxWeight,
                           ThreadPool* pool) const = 0;
    // As SeamFinder::labels: each covered pixel to exactly one photograph.
    virtual bool labels() const { return false; }
};

class SeamFinder {
public:
    virtual ~SeamFinder() = default;
    // Bytes the render's seams hold from `find` to the last block (labels at seam resolution).
    virtual int64_t heldBytes(const SeamInput& input) const = 0;
    // Working bytes per block pixel (labels carried to full resolution) when at most `depth`
    // photographs meet at a pixel.
    virtual int64_t blockPixelBytes(int depth) const = 0;
    // The seams of the render, found on the render's thread before its first block.
    virtual std::unique_ptr<BlockSeams> find(const SeamInput& input) const = 0;
    // Whether the seams give every covered pixel to exactly one photograph, chosen for the whole
    // panorama: then every compositor follows them (none takes the label, linear feathers along
    // the seam, multi-band weights all its bands from the labels). Otherwise only multi-band
    // blending asks for masks and the other compositors keep their own rules.
    virtual bool labels() const { return false; }
};

}  // namespace vantorra
