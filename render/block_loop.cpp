#include "render/block_loop.h"

#include <algorithm>
#include <atomic>
#include <iostream>
#include <sstream>
#include <string>

#include "render/band_writer.h"
#include "render/block_buffers.h"
#include "render/block_plan.h"

namespace vantorra {
namespace {

// One row of blocks and what every block of it shares.
struct BandJob {
    const BlockLoop& loop;
    const std::vector<ImageFootprint>& placed;
    const PanoramaGrid& grid;
    const Compositor& compositor;
    int margin = 0;
    int blockRow = 0, bandTop = 0;
    int colSide = 0, blockCols = 0, total = 0;
    Image& band;
    WideImage* wide;  // the band of a 16-bit panorama instead, or null

    int number(int blockCol) const { return blockRow * blockCols + blockCol + 1; }
};

// Composites block `blockCol` of the job's row with `buffers` and pastes it into the band.
void composeBlock(const BandJob& job, int blockCol, const RenderContext& context, BlockBuffers& buffers) {
    const BlockBounds b = blockBounds(job.blockRow, blockCol, job.loop.block, job.colSide, job.loop.width, job.loop.height);
    const int m = job.margin;
    const int rows = b.rowEnd - b.rowStart + 1 + 2 * m, cols = b.colEnd - b.colStart + 1 + 2 * m;
    buffers.footprints.resize(job.placed.size());
    for (size_t i = 0; i < job.placed.size(); ++i)
        clipFootprintInto(buffers.footprints[i], job.placed[i], b.rowStart, b.rowEnd, b.colStart, b.colEnd,
                          job.grid.dTheta, job.grid.dPhi, m, job.loop.turnColumns);
    job.compositor.compose(buffers.block, context, buffers.footprints, rows, cols);
    buffers.block.clampTo255();
    // Blocks of a row cover distinct columns of the band, so blocks on different threads never
    // write the same bytes.
    if (job.wide) job.wide->pasteFrom(b.rowStart - job.bandTop, b.colStart, buffers.block, m, m, rows - m - 1, cols - m - 1);
    else job.band.pasteFrom(b.rowStart - job.bandTop, b.colStart, buffers.block, m, m, rows - m - 1, cols - m - 1);
}

// One block after another on this thread, each block's rows split over the context's pool.
void composeInTurn(const BandJob& job, const RenderContext& context, BlockBuffers& buffers) {
    for (int c = 0; c < job.blockCols; ++c) {
        const int k = job.number(c);
        *context.log << "[ Block " << k << " of " << job.total << " ]" << std::endl;
        context.progress.setBlock(k, job.total);
        composeBlock(job, c, context, buffers);
    }
}

// Blocks of the row on `lanes` threads at once, each lane taking the next block and composing it
// alone with its own buffers, log and silent progress (which still sees a cancel). This thread
// reports each finished block and passes the logs on in block order.
void composeAtOnce(const BandJob& job, const RenderContext& context, std::vector<BlockBuffers>& buffers,
                   std::vector<ProgressReporter>& silent, ThreadPool& pool) {
    const int lanes = static_cast<int>(buffers.size());
    std::vector<std::ostringstream> logs(static_cast<size_t>(job.blockCols));
    std::atomic<int> next{0}, finished{0};
    pool.parallelFor(static_cast<size_t>(lanes), [&](size_t lane, int slot) {
        BlockBuffers& mine = buffers[lane];
        ProgressReporter& progress = silent[lane];
        for (int c = next++; c < job.blockCols; c = next++) {
            std::ostringstream& log = logs[static_cast<size_t>(c)];
            progress.setBlock(job.number(c), job.total);
            const RenderContext own{context.options, context.scene,   context.gains, progress, context.projection,
                                    context.seams,   context.sources, nullptr,       &log,     &mine};
            log << "[ Block " << job.number(c) << " of " << job.total << " ]" << std::endl;
            composeBlock(job, c, own, mine);
            const int done = ++finished;
            if (slot == 0) {  // the render's own thread
                context.progress.setBlock(job.number(0) + done - 1, job.total);
                context.progress.report(ProgressReporter::Blending, 1, 1);
            }
        }
    });
    for (const std::ostringstream& log : logs) *context.log << log.str();
    context.progress.setBlock(job.number(job.blockCols - 1), job.total);
    context.progress.report(ProgressReporter::Blending, 1, 1);
}

}  // namespace

bool renderBlocks(PanoramaSink& sink, const BlockLoop& loop, const Compositor& compositor, int margin,
                  const RenderContext& base, const std::vector<ImageFootprint>& placed, const PanoramaGrid& grid,
                  const BandSources& bandSources) {
    // Bands are `block` rows high; the columns of a band are shared evenly among its blocks.
    const int colSide = evenBlockSide(loop.width, loop.block);
    const int blockRows = blockCount(loop.height, loop.block), blockCols = blockCount(loop.width, colSide);
    const int total = blockRows * blockCols;
    base.progress.setBlock(0, total);
    RenderContext context = base;
    const int lanes = std::min(loop.concurrentBlocks, context.pool != nullptr ? context.pool->size() : 1);
    std::vector<BlockBuffers> buffers(static_cast<size_t>(std::max(1, lanes)));
    std::vector<ProgressReporter> silent(buffers.size());
    for (ProgressReporter& s : silent) s.cancel = base.progress.cancel;
    // One row of blocks, or two in turn when one is written while the next is composed.
    Image bands[2];
    WideImage wideBands[2];
    const bool wide = sink.wantsWideRows();
    BandWriter writer(sink, loop.overlapWriting);
    for (int blockRow = 0; blockRow < blockRows; ++blockRow) {
        const int bandTop = blockRow * loop.block;
        const int bandRows = std::min(loop.block, loop.height - bandTop);
        const int slot = loop.overlapWriting ? blockRow % 2 : 0;
        Image& band = bands[slot];
        WideImage& wideBand = wideBands[slot];
        if (wide && wideBand.rows != bandRows) wideBand.allocate(bandRows, loop.width, 3);
        if (!wide && band.rows != bandRows) band.allocate(bandRows, loop.width, 3);
        context.sources = bandSources(bandTop, bandRows);
        const BandJob job{loop,      placed,    grid,  compositor, margin, blockRow,
                          bandTop,   colSide,   blockCols, total,  band,   wide ? &wideBand : nullptr};
        if (lanes > 1 && blockCols > 1) composeAtOnce(job, context, buffers, silent, *context.pool);
        else composeInTurn(job, context, buffers.front());
        const bool written = wide ? writer.writeWide(wideBand.data.data(), bandRows) : writer.write(band.data.data(), bandRows);
        if (!written) return false;
    }
    return writer.finish();
}

}  // namespace vantorra
