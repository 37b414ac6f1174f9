#pragma once
// A compositor fills one block of the panorama from the photographs whose footprints reach it.
// What it costs is known before the render allocates anything: the working bytes per block
// pixel, and the margin of pixels it needs around every block (room for its blurs, so blocks
// join without a seam). Compositors are chosen by name from the table in
// compositor_registry.h; each is stateless, and one compositor may compose several blocks at
// once on different threads, each with its own context.

#include <cstdint>
#include <vector>

#include "core/image.h"
#include "options/stitch_options.h"
#include "render/footprint.h"
#include "render/render_context.h"

namespace vantorra {

class Compositor {
public:
    virtual ~Compositor() = default;
    // Working bytes per block pixel when at most `depth` photographs meet at a pixel; `labels`:
    // the render's seams give each pixel one photograph (SeamFinder::labels), which every
    // compositor then follows.
    virtual int64_t blockPixelBytes(const RenderOptions& options, int depth, bool labels) const = 0;
    // Pixels added on every side of a block.
    virtual int blockMargin(const RenderOptions&, bool /*labels*/) const { return 0; }
    // Fills `block` (blockRows x blockCols x 3, the margin included) from the images whose
    // footprints are in the block; `footprints` follows the order of the scene's component.
    // A pixel no photograph reaches stays 0.
    virtual void compose(FloatImage& block, const RenderContext& context, std::vector<ImageFootprint>& footprints,
                         int blockRows, int blockCols) const = 0;
};

}  // namespace vantorra
