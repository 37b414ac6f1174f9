#pragma once
// Where each photograph lands in the output: one or more rectangles of the output plane per
// photograph (the projection decides how many: the equirectangular one makes two when a
// photograph straddles its seam at theta = +-pi), with their output pixel bounds and the work
// images of the multi-band blender. Plane positions are (theta, phi): longitude and latitude
// in the equirectangular projection, the projection's own plane coordinates in any other.

#include <array>
#include <vector>

#include "core/image.h"

namespace vantorra {

// The output pixel grid: panorama pixel (row, col) stands for the plane position
// theta = thetaMin + col * dTheta, phi = phiMax + row * dPhi (dPhi < 0, row 0 on top). A footprint clipped to a block keeps the
// block's top-left pixel (with its margin) in rowOffset/colOffset, so block pixel (i, j) is
// panorama pixel (rowOffset + i, colOffset + j). Samplers derive every angle from the absolute
// pixel index, which makes a pixel's value independent of how the output is cut into blocks.
struct PanoramaGrid {
    float thetaMin = 0, phiMax = 0;
    float dTheta = 0, dPhi = 0;
    int rowOffset = 0, colOffset = 0;
};

struct RenderRegion {
    bool active = false;  // overlaps the current block
    float thetaMin = 0, thetaMax = 0, phiMin = 0, phiMax = 0;  // plane position (radians)
    // Inclusive output pixel bounds; after the block clip, relative to the block with its margin.
    int rowFirst = 0, rowLast = -1, colFirst = 0, colLast = -1;
    FloatImage warped;  // multi-band work images, sized to the clipped pixel bounds
    FloatImage weight;
    FloatImage mask;
    std::vector<int> rowValidFirst, rowValidLast;  // per row of the region
    std::vector<int> colValidFirst, colValidLast;  // per column of the region
};

struct ImageFootprint {
    std::vector<RenderRegion> regions;  // none when the photograph cannot be drawn
    bool inBlock = false;
    // The photograph reaches beyond what the projection draws: its regions were cut to it.
    bool cut = false;
    // Change of theta and phi (>= 0) from photograph pixel (0, 0) to (rows - 1, 0) and to
    // (0, cols - 1), and those edges' lengths in output pixels.
    float firstEdgeTheta = 0, firstEdgePhi = 0;
    float secondEdgeTheta = 0, secondEdgePhi = 0;
    float firstEdgePixels = 0, secondEdgePixels = 0;
    PanoramaGrid grid;  // set by placeFootprint, offset by clipFootprint
};

// Edge lengths in output pixels and each region's inclusive pixel bounds on `grid` (an output of
// width x height pixels spanning dT x dP radians), the region's angles moved inward onto them.
void placeFootprint(ImageFootprint& footprint, const PanoramaGrid& grid, int width, int height,
                    float dT, float dP);

// A copy of a placed footprint for the block rows rowStart..rowEnd, columns colStart..colEnd
// grown by margin: regions meeting it in at least two rows and two columns become active with
// bounds relative to the block's top-left (margin included); inBlock tells whether any did.
// `turnColumns` > 0: the panorama is a full turn of that many columns, column c looking the
// same way as c + turnColumns, so a block whose margin runs past one edge also draws the
// photographs at the other; the two sides of a photograph across the edge become one region.
ImageFootprint clipFootprint(const ImageFootprint& footprint, int rowStart, int rowEnd,
                             int colStart, int colEnd, float dTheta, float dPhi, int margin, int turnColumns = 0);
// The same into `clipped`, whose regions keep the storage of their work images for the next
// block to reuse.
void clipFootprintInto(ImageFootprint& clipped, const ImageFootprint& footprint, int rowStart, int rowEnd,
                       int colStart, int colEnd, float dTheta, float dPhi, int margin, int turnColumns = 0);

}  // namespace vantorra
