#pragma once
// Where each image of the panorama lands in the output: one or two longitude/latitude
// rectangles per image (two when the image straddles the seam at theta = +-pi), with their
// output pixel bounds and the work images of the multi-band blender.

#include <array>
#include <vector>

#include "engine/image.h"

namespace vantorra {

class Stitcher;

struct RenderRegion {
    bool active = false;  // overlaps the current block
    float thetaMin = 0, thetaMax = 0, phiMin = 0, phiMax = 0;  // radians
    // Inclusive output pixel bounds; after the block clip, relative to the block with its margin.
    int rowFirst = 0, rowLast = -1, colFirst = 0, colLast = -1;
    FloatImage warped;  // multi-band work images, sized to the clipped pixel bounds
    FloatImage weight;
    FloatImage mask;
    std::vector<int> rowValidFirst, rowValidLast;  // per row of the region
    std::vector<int> colValidFirst, colValidLast;  // per column of the region
};

struct ImageFootprint {
    std::vector<RenderRegion> regions;  // 1 or 2
    bool inBlock = false;
    // Change of theta and phi (radians, >= 0) from pixel (0, 0) to (rows - 1, 0) and to
    // (0, cols - 1), and those edges' lengths in output pixels.
    float firstEdgeTheta = 0, firstEdgePhi = 0;
    float secondEdgeTheta = 0, secondEdgePhi = 0;
    float firstEdgePixels = 0, secondEdgePixels = 0;
};

// Per image number, one gain per colour channel; empty when gain compensation is off.
using Gains = std::vector<std::array<float, 3>>;

// Every block compositor has this shape: it fills `block` (created blockRows x blockCols x 3,
// zero-filled) from the images whose footprints are in the block. `footprints` follows the
// order of the stitcher's component.
using BlockCompositor = void (*)(FloatImage& block, Stitcher& stitcher,
                                 std::vector<ImageFootprint>& footprints, int blockRows,
                                 int blockCols, const Gains& gains);

}  // namespace vantorra
