#include "render/sampled_footprint.h"

#include <algorithm>
#include <cmath>

namespace vantorra {
namespace {

// Steps along each side of the photograph: the border bends little over a step of a photograph
// of any lens a panorama is made with.
constexpr int kSteps = 32;

Direction toDirection(const Vec3& d) { return Direction{d.x, d.y, d.z}; }

struct Box {
    double uMin = INFINITY, uMax = -INFINITY, vMin = INFINITY, vMax = -INFINITY;
    void take(const PlanePoint& p) {
        uMin = std::min(uMin, p.u);
        uMax = std::max(uMax, p.u);
        vMin = std::min(vMin, p.v);
        vMax = std::max(vMax, p.v);
    }
    bool empty() const { return !(uMin <= uMax); }
};

}  // namespace

bool reachedPosition(const Projection& projection, const Direction& d, PlanePoint& p, bool& beyond) {
    if (!projection.planeOf(d, p)) return false;
    const PlaneBounds r = projection.reach();
    const PlanePoint kept{std::clamp<double>(p.u, r.thetaMin, r.thetaMax), std::clamp<double>(p.v, r.phiMin, r.phiMax)};
    beyond = kept.u != p.u || kept.v != p.v;
    p = kept;
    return true;
}

ImageFootprint sampledFootprint(const Projection& projection, const Camera& camera, int rows, int cols) {
    ImageFootprint footprint;
    const double last = rows - 1, lastCol = cols - 1;
    Box box;
    PlanePoint corner[3];
    bool cornerSeen[3] = {false, false, false};
    for (int i = 0; i <= kSteps; ++i)
        for (int j = 0; j <= kSteps; ++j) {
            const float r = static_cast<float>(last * i / kSteps), c = static_cast<float>(lastCol * j / kSteps);
            PlanePoint p;
            bool beyond = false;
            if (!reachedPosition(projection, toDirection(rayOf(camera, r, c)), p, beyond)) {
                footprint.cut = true;
                continue;
            }
            footprint.cut |= beyond;
            box.take(p);
            const int which = i == 0 && j == 0 ? 0 : (i == kSteps && j == 0 ? 1 : (i == 0 && j == kSteps ? 2 : -1));
            if (which >= 0) {
                corner[which] = p;
                cornerSeen[which] = true;
            }
        }
    if (box.empty()) return footprint;
    // Between two samples the border may bow out by a little of a step.
    const PlaneBounds reach = projection.reach();
    const double du = (box.uMax - box.uMin) / kSteps, dv = (box.vMax - box.vMin) / kSteps;
    RenderRegion region;
    region.thetaMin = static_cast<float>(std::max<double>(reach.thetaMin, box.uMin - du));
    region.thetaMax = static_cast<float>(std::min<double>(reach.thetaMax, box.uMax + du));
    region.phiMin = static_cast<float>(std::max<double>(reach.phiMin, box.vMin - dv));
    region.phiMax = static_cast<float>(std::min<double>(reach.phiMax, box.vMax + dv));
    footprint.regions.push_back(std::move(region));
    // The edges' extents from their corners, or the box's where a corner cannot be drawn.
    const bool first = cornerSeen[0] && cornerSeen[1], second = cornerSeen[0] && cornerSeen[2];
    footprint.firstEdgeTheta = first ? static_cast<float>(std::fabs(corner[1].u - corner[0].u)) : 0.0f;
    footprint.firstEdgePhi = static_cast<float>(first ? std::fabs(corner[1].v - corner[0].v) : box.vMax - box.vMin);
    footprint.secondEdgeTheta = static_cast<float>(second ? std::fabs(corner[2].u - corner[0].u) : box.uMax - box.uMin);
    footprint.secondEdgePhi = second ? static_cast<float>(std::fabs(corner[2].v - corner[0].v)) : 0.0f;
    return footprint;
}

}  // namespace vantorra
