#pragma once
// Rendering a scene's cameras directly, without the orientation step of Stitcher::render: gains
// when the options ask for them, then the renderer within the budget tests render with.

#include <cstdint>
#include <ostream>

#include "core/image.h"
#include "core/null_stream.h"
#include "core/progress_reporter.h"
#include "render/gain_compensation.h"
#include "render/renderer.h"

namespace vantorra {

// The budget a render had by default before the budget became the renderer's argument: 0.75 GB.
inline constexpr int64_t kTestRenderBudget = int64_t{805306368};

inline RenderResult renderScene(const RenderScene& scene, const RenderOptions& options, Image& panorama,
                                ProgressReporter& progress, std::ostream& log,
                                int64_t budget = kTestRenderBudget) {
    Gains gains;
    if (options.gainCompensation) gains = computeGains(options, scene, progress, log);
    return Renderer(options, budget).render(panorama, scene, gains, progress, log);
}

inline RenderResult renderScene(const RenderScene& scene, const RenderOptions& options, Image& panorama,
                                std::ostream& log) {
    ProgressReporter progress;
    return renderScene(scene, options, panorama, progress, log);
}

inline RenderResult renderScene(const RenderScene& scene, const RenderOptions& options, Image& panorama) {
    NullStream quiet;
    return renderScene(scene, options, panorama, quiet);
}

}  // namespace vantorra
