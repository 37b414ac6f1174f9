#include "render/latitude_projection.h"

#include <algorithm>
#include <cmath>

#include "render/equirectangular.h"
#include "render/photo_border.h"
#include "render/registry.h"
#include "render/sampled_footprint.h"

namespace vantorra {

Vec3 LatitudeProjection::direction(float theta, float phi) const {
    float sinPhi = 0, cosPhi = 0;
    latitudeTerms(phi, sinPhi, cosPhi);
    return directionFrom(std::sin(theta), std::cos(theta), sinPhi, cosPhi);
}

bool LatitudeProjection::planeOf(const Direction& d, PlanePoint& p) const {
    const double h = std::hypot(d.y, d.z);
    if (!(h > 0.0)) return false;  // a pole: stretched beyond any plane
    p.u = std::atan2(d.y, d.z);
    p.v = stretchOfTangent(-d.x / h);
    return true;
}

bool LatitudeProjection::directionAt(const PlanePoint& p, Direction& d) const {
    const double phi = latitudeOf(p.v);
    d = Direction{-std::sin(phi), std::sin(p.u) * std::cos(phi), std::cos(p.u) * std::cos(phi)};
    return true;
}

PlaneBounds LatitudeProjection::reach() const {
    const float v = static_cast<float>(stretchOfTangent(std::tan(kMaxLatitude)));
    return PlaneBounds{-kPi, kPi, -v, v};
}

void LatitudeProjection::columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const {
    instance<Equirectangular>().columnTerms(grid, firstCol, count, terms);
}

void LatitudeProjection::runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                                       DirectionRun& out) const {
    float sinPhi = 0, cosPhi = 0;
    latitudeTerms(rowPosition(grid, row), sinPhi, cosPhi);
    const size_t k = static_cast<size_t>(offset);
    directionsOfRun(&terms.first[k], &terms.second[k], n, sinPhi, cosPhi, out);
}

void LatitudeProjection::runPositions(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                                      const Mat3& P, float* u, float* v) const {
    float sinPhi = 0, cosPhi = 0;
    latitudeTerms(rowPosition(grid, row), sinPhi, cosPhi);
    const size_t k = static_cast<size_t>(offset);
    positionsOfRun(&terms.first[k], &terms.second[k], n, sinPhi, cosPhi, P, u, v);
}

ImageFootprint LatitudeProjection::footprint(const Camera& camera, int rows, int cols) const {
    ImageFootprint footprint = instance<Equirectangular>().footprint(camera, rows, cols);
    const PlaneBounds r = reach();
    auto stretched = [&](float phi) {
        if (std::fabs(phi) > kMaxLatitude) footprint.cut = true;
        const double limited = std::clamp<double>(phi, -kMaxLatitude, kMaxLatitude);
        return std::clamp(static_cast<float>(stretchOfTangent(std::tan(limited))), r.phiMin, r.phiMax);
    };
    for (RenderRegion& region : footprint.regions) {
        region.phiMin = stretched(region.phiMin);
        region.phiMax = stretched(region.phiMax);
    }
    // The edges' latitude extents, stretched: from the corners' own positions.
    const BorderRays border = borderRays(camera, rows, cols);
    PlanePoint corner[3];
    bool beyond = false;
    for (size_t c = 0; c < 3; ++c)
        if (!reachedPosition(*this, Direction{border.points[c].x, border.points[c].y, border.points[c].z}, corner[c],
                             beyond))
            corner[c] = PlanePoint{0.0, c == 0 ? r.phiMin : r.phiMax};
    footprint.firstEdgePhi = static_cast<float>(std::fabs(corner[1].v - corner[0].v));
    footprint.secondEdgePhi = static_cast<float>(std::fabs(corner[2].v - corner[0].v));
    return footprint;
}

std::optional<PlaneWrap> LatitudeProjection::wrap() const { return PlaneWrap{-kPi, kPi}; }

}  // namespace vantorra
