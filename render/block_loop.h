#pragma once
// The block loop of a render: every block composited, clamped and pasted without its margin
// into the row of blocks it belongs to, each finished row handed to the sink, top to bottom.

#include <functional>
#include <span>
#include <vector>

#include "io/panorama_sink.h"
#include "render/compositor.h"
#include "render/footprint.h"
#include "render/prepared_source.h"
#include "render/render_context.h"

namespace vantorra {

// The sources of one row of blocks (output rows bandTop .. bandTop + bandRows - 1); the same
// for every row when the whole photographs are held.
using BandSources = std::function<std::span<const PreparedSource>(int bandTop, int bandRows)>;

struct BlockLoop {
    int width = 0, height = 0;
    int block = 0;  // side of a block without its margin
    // Blocks of one row composited at once, each on its own thread with its own buffers; 1
    // composites one block at a time, its rows split over the context's pool.
    int concurrentBlocks = 1;
    // Each finished row of blocks is written while the next is composed (a second row is held).
    bool overlapWriting = false;
    // A full turn's width: blocks at either edge draw across it (the blurs of their margins
    // see the other edge's photographs), so the edges join without a seam. 0 otherwise.
    int turnColumns = 0;
};

// Every block composed by `compositor`, `margin` pixels added on every side. False, with the
// sink's reason, when the sink refuses rows. The panorama is the same whatever
// `concurrentBlocks` and the pool: a block's pixels depend only on the block.
bool renderBlocks(PanoramaSink& sink, const BlockLoop& loop, const Compositor& compositor, int margin,
                  const RenderContext& context, const std::vector<ImageFootprint>& placed, const PanoramaGrid& grid,
                  const BandSources& bandSources);

}  // namespace vantorra
