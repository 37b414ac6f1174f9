#pragma once
// Rendering a Stitcher's cameras directly, without the orientation step of Stitcher::render:
// gains when the options ask for them, then the renderer, with what it decided written back
// (the re-centred cameras into the stitcher, size and crop into `options`).

#include "core/image.h"
#include "pipeline/stitcher.h"
#include "render/gain_compensation.h"
#include "render/renderer.h"

namespace vantorra {

inline RenderResult renderStitcher(Stitcher& stitcher, RenderOptions& options, Image& panorama) {
    Gains gains;
    if (options.gainCompensation)
        gains = computeGains(options, stitcher.renderScene(), stitcher.thumbnails,
                             stitcher.thumbnailLevels, stitcher.progress);
    RenderResult result = Renderer(options).render(panorama, stitcher.renderScene(), gains,
                                                   stitcher.progress);
    stitcher.cameras = result.cameras;
    showRenderResult(options, result);
    return result;
}

}  // namespace vantorra
