#include "render/renderer.h"

#include <memory>
#include <ostream>
#include <span>
#include <vector>

#include "render/band_sources.h"
#include "render/block_loop.h"
#include "render/prepared_source.h"

namespace vantorra {

RenderPlan Renderer::plan(const RenderScene& scene, const Gains& gains, bool streamed, ThreadPool* pool,
                          std::ostream& log) const {
    return planRender(options, budget, scene, gains, streamed, pool != nullptr ? pool->size() : 1, log);
}

RenderResult Renderer::execute(const RenderPlan& plan, PanoramaSink& sink, const Gains& gains,
                               ProgressReporter& progress, std::ostream& log, ThreadPool* pool) const {
    RenderResult result = plan.result;
    if (!plan.drawable()) return result;
    const int width = result.width, height = result.height;
    if (!sink.begin(width, height)) {
        result.error = sink.error();
        return result;
    }
    const RenderScene scene = plan.scene();
    const std::unique_ptr<BlockSeams> seams = plan.seamFinder->find(
        SeamInput{options, scene, gains, *plan.projection, plan.footprints, width, height, outputCrop(result), plan.budget, pool,
                  log});
    const RenderContext context{options, scene, gains, progress, *plan.projection, *seams, {}, pool, &log};
    std::vector<PreparedSource> sources;
    BandSources bandSources;
    if (!plan.banded) {
        sources = prepareSources(options, scene, gains, plan.footprints, pool);
        bandSources = [&](int, int) { return std::span<const PreparedSource>(sources); };
    } else {
        log << " Sources of " << plan.sourceBytes << " bytes exceed the budget: decoding rows per block row"
            << std::endl;
        bandSources = [&](int bandTop, int bandRows) {
            sources = prepareBandSources(options, scene, gains, *plan.projection, plan.footprints,
                                         bandTop - plan.margin, bandTop + bandRows - 1 + plan.margin, pool);
            return std::span<const PreparedSource>(sources);
        };
    }
    // Blocks of a row composed at once on their own threads, as many as the pool has and the
    // budget holds; the panorama does not depend on how many.
    log << " Blocks at once = " << plan.concurrentBlocks << std::endl;
    const BlockLoop loop{width, height, result.blockSize, plan.concurrentBlocks, plan.overlapWriting, plan.turnColumns};
    if (!renderBlocks(sink, loop, *plan.compositor, plan.margin, context, plan.footprints, plan.grid, bandSources) ||
        !sink.finish()) {
        result.error = sink.error();
        return result;
    }
    result.rendered = true;
    return result;
}

RenderResult Renderer::render(PanoramaSink& sink, const RenderScene& scene, const Gains& gains,
                              ProgressReporter& progress, std::ostream& log, ThreadPool* pool) const {
    return execute(plan(scene, gains, !sink.holdsWholePanorama(), pool, log), sink, gains, progress, log, pool);
}

RenderResult Renderer::render(Image& panorama, const RenderScene& scene, const Gains& gains,
                              ProgressReporter& progress, std::ostream& log, ThreadPool* pool) const {
    ImageSink sink(panorama);
    RenderResult result = render(sink, scene, gains, progress, log, pool);
    if (!result.rendered) panorama.clear();
    return result;
}

}  // namespace vantorra
