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

// The footprint's fields other than its regions.
void copyShape(ImageFootprint& to, const ImageFootprint& from) {
    to.cut = from.cut;
    to.firstEdgeTheta = from.firstEdgeTheta;
    to.firstEdgePhi = from.firstEdgePhi;
    to.secondEdgeTheta = from.secondEdgeTheta;
    to.secondEdgePhi = from.secondEdgePhi;
    to.firstEdgePixels = from.firstEdgePixels;
    to.secondEdgePixels = from.secondEdgePixels;
    to.grid = from.grid;
}

// The block's rectangle, its margin included, in panorama pixels.
struct Window {
    int top = 0, bottom = 0, left = 0, right = 0;
};

// `region` (a placed region moved `shift` columns) grown by the margin and cut to the window,
// into `out`, whose work images keep their storage; false when they meet in fewer than two
// rows or columns.
bool clipRegion(RenderRegion& out, const RenderRegion& region, int shift, const Window& w, float dTheta,
                float dPhi, int margin) {
    out = region;
    out.active = false;
    const float m = static_cast<float>(margin), turn = static_cast<float>(shift) * dTheta;
    out.rowFirst -= margin;
    out.rowLast += margin;
    out.colFirst += shift - margin;
    out.colLast += shift + margin;
    out.thetaMin += turn - m * dTheta;
    out.thetaMax += turn + m * dTheta;
    out.phiMin += m * dPhi;
    out.phiMax -= m * dPhi;
    const int r0 = std::max(out.rowFirst, w.top), r1 = std::min(out.rowLast, w.bottom);
    const int c0 = std::max(out.colFirst, w.left), c1 = std::min(out.colLast, w.right);
    // A region meeting the block in a single row or column is not drawn.
    if (!(c0 < c1 && r0 < r1)) return false;
    out.active = true;
    out.thetaMin += static_cast<float>(c0 - out.colFirst) * dTheta;
    out.thetaMax += static_cast<float>(c1 - out.colLast) * dTheta;
    out.phiMin += static_cast<float>(r1 - out.rowLast) * dPhi;
    out.phiMax += static_cast<float>(r0 - out.rowFirst) * dPhi;
    out.rowFirst = r0 - w.top;
    out.rowLast = r1 - w.top;
    out.colFirst = c0 - w.left;
    out.colLast = c1 - w.left;
    return true;
}

// `into` grown to hold `other` as well (both active, of one photograph, in one block).
void takeIn(RenderRegion& into, RenderRegion& other) {
    if (other.colFirst < into.colFirst) into.thetaMin = other.thetaMin;
    if (other.colLast > into.colLast) into.thetaMax = other.thetaMax;
    if (other.rowFirst < into.rowFirst) into.phiMax = other.phiMax;
    if (other.rowLast > into.rowLast) into.phiMin = other.phiMin;
    into.rowFirst = std::min(into.rowFirst, other.rowFirst);
    into.rowLast = std::max(into.rowLast, other.rowLast);
    into.colFirst = std::min(into.colFirst, other.colFirst);
    into.colLast = std::max(into.colLast, other.colLast);
    other.active = false;
    releaseWorkImages(other);
}

bool meet(const RenderRegion& a, const RenderRegion& b) {
    return a.rowFirst <= b.rowLast && b.rowFirst <= a.rowLast && a.colFirst <= b.colLast + 1 &&
           b.colFirst <= a.colLast + 1;
}

// Active regions of one photograph that meet (the two sides of one that straddles a full
// turn's edge, brought together in a block at that edge) become one, so no pixel is drawn
// from the photograph twice and its blurs run across the edge.
void joinMeeting(std::vector<RenderRegion>& regions) {
    for (bool joined = true; joined;) {
        joined = false;
        for (size_t a = 0; a < regions.size(); ++a)
            for (size_t b = a + 1; b < regions.size(); ++b)
                if (regions[a].active && regions[b].active && meet(regions[a], regions[b])) {
                    takeIn(regions[a], regions[b]);
                    joined = true;
                }
    }
}

}  // namespace

ImageFootprint clipFootprint(const ImageFootprint& footprint, int rowStart, int rowEnd,
                             int colStart, int colEnd, float dTheta, float dPhi, int margin, int turnColumns) {
    ImageFootprint clipped;
    clipFootprintInto(clipped, footprint, rowStart, rowEnd, colStart, colEnd, dTheta, dPhi, margin, turnColumns);
    return clipped;
}

void clipFootprintInto(ImageFootprint& clipped, const ImageFootprint& footprint, int rowStart, int rowEnd,
                       int colStart, int colEnd, float dTheta, float dPhi, int margin, int turnColumns) {
    copyShape(clipped, footprint);
    const Window w{rowStart - margin, rowEnd + margin, colStart - margin, colEnd + margin};
    clipped.grid.rowOffset = w.top;
    clipped.grid.colOffset = w.left;
    // In a full turn every region also has a copy a turn to either side, for a block whose
    // margin runs past the left or right edge. The slots stay the same from block to block, so
    // the work images keep their storage.
    const size_t copies = turnColumns > 0 ? 3 : 1, n = footprint.regions.size();
    clipped.regions.resize(n * copies);
    clipped.inBlock = false;
    for (size_t k = 0; k < clipped.regions.size(); ++k) {
        const RenderRegion& region = footprint.regions[k / copies];
        const int shift = k % copies == 0 ? 0 : (k % copies == 1 ? -turnColumns : turnColumns);
        // A region over the whole turn reaches past both edges by itself.
        const bool whole = region.colLast - region.colFirst + 1 >= turnColumns;
        RenderRegion& out = clipped.regions[k];
        if ((shift != 0 && whole) || !clipRegion(out, region, shift, w, dTheta, dPhi, margin)) {
            out.active = false;
            // Only the images in a block hold work images, which keeps a block's memory to
            // the images that meet in it.
            releaseWorkImages(out);
        }
    }
    if (turnColumns > 0) joinMeeting(clipped.regions);
    for (const RenderRegion& region : clipped.regions) clipped.inBlock |= region.active;
}

}  // namespace vantorra
