#pragma once
// What a render decides before it draws anything: its components, the re-centred cameras, the
// footprints on the output grid, the output's size and crop, and the memory plan (the block
// side, what is held beside the blocks, how many blocks are composed at once).

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "options/stitch_options.h"
#include "render/band_sources.h"
#include "render/compositor.h"
#include "render/footprint.h"
#include "render/projection.h"
#include "render/render_context.h"
#include "render/render_result.h"
#include "render/seam_finder.h"

namespace vantorra {

struct RenderPlan {
    RenderResult result;  // error set, or nothing drawable, when the render stops here
    const Projection* projection = nullptr;
    const Compositor* compositor = nullptr;
    const SeamFinder* seamFinder = nullptr;
    RenderScene input;                       // the scene as given; draw with scene()
    std::vector<ImageFootprint> footprints;  // placed on `grid`, in component order
    PanoramaGrid grid;
    int turnColumns = 0;  // a full turn's width, whose last column neighbours its first; else 0
    // The memory plan.
    int64_t budget = 0;
    int margin = 0;           // pixels around every block
    int64_t pixelBytes = 0;   // per block pixel: the compositor's and the seams'
    int64_t sourceBytes = 0;  // every source made whole
    int64_t seamBytes = 0;    // the seams' own, for the whole render
    bool banded = false;      // sources made a row of blocks at a time
    BandCost cost;            // what those rows hold, when banded
    bool streamed = false;    // only one row of blocks of the panorama is held
    int concurrentBlocks = 1;
    bool overlapWriting = false;

    bool drawable() const { return result.error.empty() && result.width > 0; }
    // The scene with the re-centred cameras.
    RenderScene scene() const;
    // Bytes held beside the blocks and the panorama when rows of blocks are `block` rows high.
    int64_t held(int block) const;
};

// Plans the render of `scene` within `budget` bytes, the panorama held whole or (streamed) a row
// of blocks at a time; `threads` bound how many blocks may be composed at once. Logs the seam
// search and the block size.
RenderPlan planRender(const RenderOptions& options, int64_t budget, const RenderScene& scene, const Gains& gains,
                      bool streamed, int threads, std::ostream& log);

// The plane rectangle a planned render spans.
PlaneBounds outputCrop(const RenderResult& result);

// One footprint per position of the component on `projection`; an image that cannot be drawn
// gets one without regions.
std::vector<ImageFootprint> computeFootprints(const RenderScene& scene, const Projection& projection);

}  // namespace vantorra
