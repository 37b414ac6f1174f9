#pragma once
// Sources decoded a row of blocks at a time, for a render whose whole sources would take more
// than their share of the budget: which rows of each photograph a row of blocks samples, what
// those rows cost for any block height, and the sources of one row of blocks.

#include <cstdint>
#include <vector>

#include "core/thread_pool.h"
#include "options/stitch_options.h"
#include "render/footprint.h"
#include "render/prepared_source.h"
#include "render/projection.h"
#include "render/render_context.h"

namespace vantorra {

// Source rows (of the reduced source) that output rows top .. bottom of `footprint` can sample:
// the projections of points spread over the part of each region in those rows, widened by two
// rows for bilinear sampling and rounding. The whole source when a point falls behind the camera.
// False when no region meets those rows.
bool sourceRowsOf(const ImageFootprint& footprint, const Projection& output, const PixelProjection& camera, int top,
                  int bottom, int sourceRows, int& first, int& last);

// What the band sources of a row of blocks hold, found once for every block height: per source,
// the reduced rows each chunk of kRowChunk output rows can sample.
struct BandCost {
    static constexpr int kRowChunk = 16;
    struct Source {
        int64_t wholeBytes = 0;  // a source made whole whatever the band (from the feature image)
        int64_t rowBytes = 0;    // one reduced row, for one decoded by rows
        int radius = 0;          // the blur's reach beyond the band, in reduced rows
        int rows = 0;
        std::vector<int> first, last;  // per chunk; first > last where the chunk samples nothing
    };
    std::vector<Source> sources;
};

BandCost bandCost(const RenderOptions& options, const RenderScene& scene, const Projection& output,
                  const std::vector<ImageFootprint>& footprints, int height);

// The most the band sources of any row of blocks `block` rows high (with the margin) hold.
int64_t bandSourceBytes(const BandCost& cost, int block, int margin, int height);

// The sources of one row of blocks (output rows top .. bottom): decoded photographs cut to the
// rows the band samples, the kept feature images whole.
std::vector<PreparedSource> prepareBandSources(const RenderOptions& options, const RenderScene& scene,
                                               const Gains& gains, const Projection& output,
                                               const std::vector<ImageFootprint>& footprints, int top, int bottom,
                                               ThreadPool* pool);

}  // namespace vantorra
