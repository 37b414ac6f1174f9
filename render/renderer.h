#pragma once
// Renders the registered cameras of a scene into one spherical panorama: footprints, seam
// re-centring, crop, output size, memory-bounded blocks and, per block, the compositor chosen by
// the options.

#include <iosfwd>
#include <string>
#include <vector>

#include "core/image.h"
#include "io/panorama_sink.h"
#include "core/thread_pool.h"
#include "options/stitch_options.h"
#include "numerics/camera.h"
#include "render/footprint.h"
#include "render/render_context.h"

namespace vantorra {

// What a render decided. The size, scale and crop are the values the options would need to give
// the same panorama again; `cameras` are the scene's cameras after seam re-centring.
struct RenderResult {
    bool rendered = false;  // false: nothing registered to draw, or an empty crop
    int width = 0;
    int height = 0;
    // The size the same crop has at 100 % scale (the size a full-resolution render gives).
    int fullWidth = 0;
    int fullHeight = 0;
    float scale = 0;  // output pixels per photograph pixel of the reference image
    float thetaMin = 0, thetaMax = 0, phiMin = 0, phiMax = 0;  // radians
    float dTheta = 0;  // radians per output column, > 0
    float dPhi = 0;    // radians per output row, < 0
    int blockSize = 0;
    bool recentred = false;
    std::vector<Camera> cameras;
    std::string error;  // why nothing was rendered when something should have been
};

// Copies what a render decided into the options a front end shows, as the next run would need
// them: size, scale and crop.
void showRenderResult(RenderOptions& shown, const RenderResult& result);

class Renderer {
public:
    explicit Renderer(const RenderOptions& options) : options(options) {}

    // (Re)creates `panorama` as H x W x 3 and fills it; an empty panorama when nothing can be
    // drawn. Images without a registered camera or size are left out.
    // Work is shared out over `pool` when there is one; the panorama is the same without it.
    // The rows go to `sink` as each row of blocks is finished.
    // Log lines go to `log`.
    RenderResult render(PanoramaSink& sink, const RenderScene& scene, const Gains& gains,
                        ProgressReporter& progress, std::ostream& log, ThreadPool* pool = nullptr) const;
    // The same into an image in memory; an empty image when nothing is rendered.
    RenderResult render(Image& panorama, const RenderScene& scene, const Gains& gains,
                        ProgressReporter& progress, std::ostream& log, ThreadPool* pool = nullptr) const;

private:
    RenderOptions options;
};

// One footprint per position of the component; an image that cannot be drawn gets one without
// regions.
std::vector<ImageFootprint> computeFootprints(const RenderScene& scene);

// The turn about the first world axis that moves an uncovered gap in longitude onto the seam at
// +-pi, when there is such a gap and the panorama is split across the seam. Logs the search.
// Returns whether a turn is needed; `turn` receives it.
bool seamTurn(const std::vector<ImageFootprint>& footprints, Matrix& turn, std::ostream& log);

}  // namespace vantorra
