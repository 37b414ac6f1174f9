#pragma once
// Renders the registered cameras of a scene into one panorama, in two steps: planning (the
// components the options name, footprints, seam re-centring, crop, output size and the memory
// plan of blocks within the budget), then its execution (the seams, the sources and, block by
// block, the compositor).

#include <cstdint>
#include <iosfwd>

#include "core/image.h"
#include "core/progress_reporter.h"
#include "core/thread_pool.h"
#include "io/panorama_sink.h"
#include "options/stitch_options.h"
#include "render/render_context.h"
#include "render/render_plan.h"
#include "render/render_result.h"

namespace vantorra {

class Renderer {
public:
    // Every buffer of a render is counted against `memoryBudget` bytes.
    Renderer(const RenderOptions& options, int64_t memoryBudget) : options(options), budget(memoryBudget) {}

    // What a render of `scene` would do, nothing drawn yet; `streamed` when the sink takes the
    // panorama a row of blocks at a time. The plan holds views of the scene's lists.
    RenderPlan plan(const RenderScene& scene, const Gains& gains, bool streamed, ThreadPool* pool,
                    std::ostream& log) const;
    // Draws a plan into `sink`, the rows going to it as each row of blocks is finished. Work is
    // shared out over `pool` when there is one; the panorama is the same without it.
    RenderResult execute(const RenderPlan& plan, PanoramaSink& sink, const Gains& gains, ProgressReporter& progress,
                         std::ostream& log, ThreadPool* pool = nullptr) const;

    // Both steps. Images without a registered camera or size are left out; log lines go to `log`.
    RenderResult render(PanoramaSink& sink, const RenderScene& scene, const Gains& gains,
                        ProgressReporter& progress, std::ostream& log, ThreadPool* pool = nullptr) const;
    // The same into an image in memory, (re)created H x W x 3; an empty image when nothing is
    // rendered.
    RenderResult render(Image& panorama, const RenderScene& scene, const Gains& gains,
                        ProgressReporter& progress, std::ostream& log, ThreadPool* pool = nullptr) const;

private:
    RenderOptions options;
    int64_t budget;
};

}  // namespace vantorra
