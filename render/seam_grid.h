#pragma once
// The reduced grid seams are found on: the output's plane rectangle at about a megapixel, the
// same whatever size the panorama is drawn at, so its seams do not change with the output size.
// A panorama that makes a full turn gets a grid whose last column neighbours its first.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "render/footprint.h"
#include "render/seam_finder.h"

namespace vantorra {

struct SeamGrid {
    int rows = 0, cols = 0;
    bool wraps = false;  // column cols - 1 neighbours column 0
    PanoramaGrid plane;  // seam pixel (r, c) stands for plane position thetaMin + c dTheta, phiMax + r dPhi
    // Output pixel index to seam pixel index: seam = round(output * scale).
    float rowScale = 0, colScale = 0;

    int64_t pixels() const { return int64_t{rows} * cols; }
    bool empty() const { return rows <= 0 || cols <= 0; }
    // The seam pixel of output pixel (row, col), which may lie outside the output (a block's
    // margin). Inline: asked for every pixel of every block.
    int seamRow(int row) const {
        const int r = static_cast<int>(std::floor(static_cast<float>(row) * rowScale + 0.5f));
        return std::clamp(r, 0, rows - 1);
    }
    int seamCol(int col) const {
        const int c = static_cast<int>(std::floor(static_cast<float>(col) * colScale + 0.5f));
        if (c >= 0 && c < cols) return c;
        if (wraps) return ((c % cols) + cols) % cols;
        return std::clamp(c, 0, cols - 1);
    }
};

// Seam pixels a render may use: about a megapixel, less for a small budget (the search holds
// about kSeamSearchBytes a pixel while it runs) and never more than the panorama has at full
// resolution.
int64_t seamPixelCount(int64_t budget, int64_t fullResolutionPixels);
constexpr int64_t kSeamSearchBytes = 400;

// The grid of the input's output rectangle; empty when the output is.
SeamGrid seamGridFor(const SeamInput& input);

// The input's footprints placed on the seam grid and clipped to all of it.
std::vector<ImageFootprint> footprintsOn(const SeamGrid& grid, const SeamInput& input);

}  // namespace vantorra
