#pragma once
// Rendering a scene's cameras directly, without the orientation step of Stitcher::render: gains
// when the options ask for them, then the renderer, with what it decided written back into the
// caller's copies (size and crop into `options`).

#include <ostream>

#include "core/image.h"
#include "core/null_stream.h"
#include "core/progress_reporter.h"
#include "render/gain_compensation.h"
#include "render/renderer.h"

namespace vantorra {

inline RenderResult renderScene(const RenderScene& scene, RenderOptions& options, Image& panorama,
                                ProgressReporter& progress, std::ostream& log) {
    Gains gains;
    if (options.gainCompensation) gains = computeGains(options, scene, progress, log);
    RenderResult result = Renderer(options).render(panorama, scene, gains, progress, log);
    showRenderResult(options, result);
    return result;
}

inline RenderResult renderScene(const RenderScene& scene, RenderOptions& options, Image& panorama,
                                std::ostream& log) {
    ProgressReporter progress;
    return renderScene(scene, options, panorama, progress, log);
}

inline RenderResult renderScene(const RenderScene& scene, RenderOptions& options, Image& panorama) {
    NullStream quiet;
    return renderScene(scene, options, panorama, quiet);
}

}  // namespace vantorra
