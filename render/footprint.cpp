#include "render/footprint.h"

#include <algorithm>
#include <cmath>

namespace vantorra {
namespace {

// Pixel bound of a fractional position; kept far inside int so a manual crop much narrower than
// an image cannot overflow the conversion.
int toPixel(float x) { return static_cast<int>(std::fmax(-1.0e9f, std::fmin(1.0e9f, x))); }

}  // namespace

void placeFootprint(ImageFootprint& footprint, const PanoramaGrid& grid, int width, int height,
                    float dT, float dP) {
    footprint.grid = grid;
    const float t1 = footprint.firstEdgeTheta / grid.dTheta, p1 = footprint.firstEdgePhi / grid.dPhi;
    const float t2 = footprint.secondEdgeTheta / grid.dTheta, p2 = footprint.secondEdgePhi / grid.dPhi;
    footprint.firstEdgePixels = std::sqrt(t1 * t1 + p1 * p1);
    footprint.secondEdgePixels = std::sqrt(t2 * t2 + p2 * p2);
    const float w = static_cast<float>(width - 1), h = static_cast<float>(height - 1);
    for (RenderRegion& region : footprint.regions) {
        const float cA = w * (region.thetaMin - grid.thetaMin) / dT;
        const float cB = w * (region.thetaMax - grid.thetaMin) / dT;
        const float rA = h * (grid.phiMax - region.phiMax) / dP;
        const float rB = h * (grid.phiMax - region.phiMin) / dP;
        region.colFirst = toPixel(std::ceil(cA));
        region.colLast = toPixel(std::floor(cB));
        region.rowFirst = toPixel(std::ceil(rA));
        region.rowLast = toPixel(std::floor(rB));
        region.thetaMin += (static_cast<float>(region.colFirst) - cA) * grid.dTheta;
        region.thetaMax -= (cB - static_cast<float>(region.colLast)) * grid.dTheta;
        region.phiMax += (static_cast<float>(region.rowFirst) - rA) * grid.dPhi;
        region.phiMin -= (rB - static_cast<float>(region.rowLast)) * grid.dPhi;
    }
}

namespace {

void releaseWorkImages(RenderRegion& region) {
    region.warped.release();
    region.weight.release();
    region.mask.release();
    for (std::vector<int>* v : {&region.rowValidFirst, &region.rowValidLast, &region.colValidFirst, &region.colValidLast}) {
        v->clear();
        v->shrink_to_fit();
    }
}

}  // namespace

ImageFootprint clipFootprint(const ImageFootprint& footprint, int rowStart, int rowEnd,
                             int colStart, int colEnd, float dTheta, float dPhi, int margin) {
    ImageFootprint clipped;
    clipFootprintInto(clipped, footprint, rowStart, rowEnd, colStart, colEnd, dTheta, dPhi, margin);
    return clipped;
}

void clipFootprintInto(ImageFootprint& clipped, const ImageFootprint& footprint, int rowStart, int rowEnd,
                       int colStart, int colEnd, float dTheta, float dPhi, int margin) {
    // Copy-assignment keeps the storage of the work images `clipped` already has: a placed
    // footprint's are empty.
    clipped = footprint;
    clipped.inBlock = false;
    const int top = rowStart - margin, bottom = rowEnd + margin;
    const int left = colStart - margin, right = colEnd + margin;
    clipped.grid.rowOffset = top;
    clipped.grid.colOffset = left;
    const float m = static_cast<float>(margin);
    for (RenderRegion& region : clipped.regions) {
        region.active = false;
        region.rowFirst -= margin;
        region.rowLast += margin;
        region.colFirst -= margin;
        region.colLast += margin;
        region.thetaMin -= m * dTheta;
        region.thetaMax += m * dTheta;
        region.phiMin += m * dPhi;
        region.phiMax -= m * dPhi;
        const int r0 = std::max(region.rowFirst, top), r1 = std::min(region.rowLast, bottom);
        const int c0 = std::max(region.colFirst, left), c1 = std::min(region.colLast, right);
        // A region meeting the block in a single row or column is not drawn.
        if (!(c0 < c1 && r0 < r1)) {
            // Only the images in a block hold work images, which keeps a block's memory to
            // the images that meet in it.
            releaseWorkImages(region);
            continue;
        }
        region.active = true;
        clipped.inBlock = true;
        region.thetaMin += static_cast<float>(c0 - region.colFirst) * dTheta;
        region.thetaMax += static_cast<float>(c1 - region.colLast) * dTheta;
        region.phiMin += static_cast<float>(r1 - region.rowLast) * dPhi;
        region.phiMax += static_cast<float>(r0 - region.rowFirst) * dPhi;
        region.rowFirst = r0 - top;
        region.rowLast = r1 - top;
        region.colFirst = c0 - left;
        region.colLast = c1 - left;
    }
}

}  // namespace vantorra
