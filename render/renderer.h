#pragma once
// Renders the registered cameras of the stitcher's component into one spherical panorama:
// footprints, seam re-centring, crop, output size, memory-bounded blocks and, per block, the
// compositor chosen by the options.

#include <vector>

#include "engine/image.h"
#include "engine/stitch_options.h"
#include "render/footprint.h"

namespace vantorra {

class Stitcher;

class Renderer {
public:
    // Binds the options record; render() reads it and writes back what it used.
    explicit Renderer(RenderOptions& options) : options(&options) {}

    // (Re)creates `panorama` as H x W x 3 and fills it. Writes width, height, the effective
    // scale and the crop into the options; a re-centring turns every camera of the component.
    // Images whose camera is not registered (empty R or f == 0) are left out.
    void render(Image& panorama, Stitcher& stitcher);

    float dTheta = 0;  // radians per output column, > 0
    float dPhi = 0;    // radians per output row, < 0

private:
    RenderOptions* options;
};

// One footprint per position of the component; an unregistered image gets one without regions.
std::vector<ImageFootprint> computeFootprints(const Stitcher& stitcher);

// Turns the cameras so that an uncovered gap in longitude lands on the seam at +-pi; true when
// it rotated them. Logs the overlap search.
bool recentreSeam(Stitcher& stitcher, const std::vector<ImageFootprint>& footprints);

}  // namespace vantorra
