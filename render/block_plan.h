#pragma once
// Output size and the cutting of the output into square blocks that fit the memory budget.

#include <cstdint>
#include <functional>

#include "options/stitch_options.h"
#include "render/footprint.h"

namespace vantorra {

struct OutputSize {
    int width = 0;
    int height = 0;
    // The size asked for before the limit, when a side was over kMaxPanoramaSide; 0 otherwise.
    double requestedWidth = 0, requestedHeight = 0;
    bool tooLarge() const { return requestedWidth > 0 || requestedHeight > 0; }
};

// Output size for an extent of dT x dP radians under the options' size mode (0 width, 1 height,
// 2 scale relative to `reference`, an image of refRows x refCols). Other modes behave as width
// mode. Each side is kept within 2 .. 65535 pixels: the grid needs two samples per axis and
// that is the largest side a JPEG can hold.
OutputSize outputSize(const RenderOptions& options, float dT, float dP,
                      const ImageFootprint& reference, int refRows, int refCols);

// Largest power of two whose square block (52 working bytes a pixel) fits in what the output
// (3 bytes a pixel) leaves of the budget, clamped to minBlock .. maxBlock; minBlock when the
// output alone uses the budget up.
int renderBlockSize(int64_t budget, int width, int height, int minBlock, int maxBlock);

// The block side for a render whose every buffer must fit in `budget`: `heldBytes` already
// held (sources), the panorama itself (whole, or one row of blocks when it is streamed) and
// `pixelBytes` per pixel of a block with its margin. The largest power of two in
// minBlock .. maxBlock that fits. When not even minBlock fits (many images meeting at a pixel,
// say), smaller blocks down to kSmallestBlock are tried: the budget is kept over the preferred
// size. When not even kSmallestBlock fits, the largest block within kBudgetAllowance over the
// budget, else kSmallestBlock (or minBlock when smaller): never the preferred size regardless.
constexpr int kSmallestBlock = 16;
// What a render may take beyond its budget when no block fits it (the code and the decoders'
// own buffers absorb about that much); a budget that not even the smallest block fits within
// this allowance is refused.
constexpr int64_t kBudgetAllowance = int64_t{32} << 20;
int planBlockSize(int64_t budget, int64_t heldBytes, int width, int height, bool streamed,
                  int64_t pixelBytes, int margin, int minBlock, int maxBlock);
// The same when what is held depends on the block side: `heldFor(b)` gives the sources a row
// of blocks b rows high needs.
int planBlockSize(int64_t budget, const std::function<int64_t(int)>& heldFor, int width, int height,
                  bool streamed, int64_t pixelBytes, int margin, int minBlock, int maxBlock);

// How many blocks of side `block` fit in `budget` at once, at most `limit` and at least 1: what
// the planner counts once (`heldBytes` of sources, the panorama or one row of blocks of it)
// and each block's working bytes with its margin.
int concurrentBlocks(int64_t budget, int64_t heldBytes, int width, int height, bool streamed,
                     int64_t pixelBytes, int margin, int block, int limit);

// Whether a streamed render can hold a second row of blocks beside what it holds at
// `blocksAtOnce` blocks at a time, so that one row is written while the next is composed.
bool secondBandFits(int64_t budget, int64_t heldBytes, int width, int height, int64_t pixelBytes, int margin,
                    int block, int blocksAtOnce);

// The bytes the smallest block needs whatever the panorama: what a row of kSmallestBlock rows
// holds, one such row of the panorama and the block's working bytes with its margin. A render
// that needs more than its budget for this cannot keep its promise at any block size.
int64_t smallestBlockBytes(const std::function<int64_t(int)>& heldFor, int width, int64_t pixelBytes, int margin);

// Inclusive output pixel bounds of one block; the last row and column of blocks are cut at the
// output's edge.
struct BlockBounds {
    int rowStart = 0, rowEnd = -1, colStart = 0, colEnd = -1;
};
// Blocks are rowSide rows high and colSide columns wide.
BlockBounds blockBounds(int blockRow, int blockCol, int rowSide, int colSide, int width, int height);

// Number of blocks along a side of `extent` pixels.
int blockCount(int extent, int block);

// The side, at most `block`, that cuts `extent` into blocks of about equal sizes, as many as
// `block` does, or one more to make an even count: blocks composed at the same time on different
// threads then take about as long, instead of one full block, or the odd block out, waiting.
int evenBlockSide(int extent, int block);

}  // namespace vantorra
