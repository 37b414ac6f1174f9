#pragma once
// What a render decided, and the options that would draw the same panorama again.

#include <string>
#include <vector>

#include "core/output_mapping.h"
#include "numerics/camera.h"
#include "options/stitch_options.h"

namespace vantorra {

// The size, scale and crop are the values the options would need to give the same panorama
// again; `cameras` are the scene's cameras after seam re-centring.
struct RenderResult {
    bool rendered = false;  // false: nothing registered to draw, or an empty crop
    int width = 0;
    int height = 0;
    // The size the same crop has at 100 % scale (the size a full-resolution render gives).
    int fullWidth = 0;
    int fullHeight = 0;
    float scale = 0;  // output pixels per photograph pixel of the reference image
    float thetaMin = 0, thetaMax = 0, phiMin = 0, phiMax = 0;  // the crop, in plane positions
    float dTheta = 0;  // plane units per output column, > 0
    float dPhi = 0;    // plane units per output row, < 0
    int blockSize = 0;
    bool recentred = false;
    std::vector<Camera> cameras;
    std::string error;  // why nothing was rendered when something should have been
    // How the pixels map to directions, the cameras' frame being the output's (identity rotation).
    OutputMapping mapping;
    // What the render did that the user should know of (a field cut to what the projection holds).
    std::vector<std::string> notes;
};

// `given` with the size, scale and crop a rendered result used: the result's cameras rendered
// with them give the same panorama (the crop fixed, the size by width, or by height when given
// so). `given` itself when nothing was rendered.
RenderOptions optionsReproducing(const RenderOptions& given, const RenderResult& result);

}  // namespace vantorra
