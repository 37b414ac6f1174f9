#include "render/equirectangular.h"

#include <algorithm>

#include "numerics/wide_vectors.h"
#include "render/photo_border.h"

namespace vantorra {
namespace {

struct Angles {
    float theta = 0, phi = 0;
};

Angles anglesOf(const Vec3& d) { return Angles{thetaOf(d), phiOf(d)}; }

// Which poles a photograph holds and whether it crosses the seam, from its corners: each corner
// ray marks the octant it points into.
struct Shape {
    bool lowerPole = false, upperPole = false, seam = false;
};

Shape shapeOf(const BorderRays& border) {
    bool octant[8] = {};
    for (size_t c = 0; c < 4; ++c) {
        const Vec3& d = border.points[c];
        octant[4 * (d.x < 0) + 2 * (d.y < 0) + (d.z < 0)] = true;
    }
    Shape shape;
    shape.lowerPole = octant[0] && octant[1] && octant[2] && octant[3];
    shape.upperPole = octant[4] && octant[5] && octant[6] && octant[7];
    // Corners behind (z < 0) on both sides of y = 0.
    shape.seam = !shape.lowerPole && !shape.upperPole && ((octant[1] && octant[3]) || (octant[5] && octant[7]));
    return shape;
}

// The extremes of the border points' angles, and those nearest zero on either side.
struct Extent {
    float thetaLo = kPi, thetaHi = -kPi, phiLo = kHalfPi, phiHi = -kHalfPi;
    float thetaPositive = kPi, thetaNonPositive = -kPi;
    float phiPositive = kHalfPi, phiNonPositive = -kHalfPi;

    void take(const Angles& e) {
        thetaLo = std::min(thetaLo, e.theta);
        thetaHi = std::max(thetaHi, e.theta);
        phiLo = std::min(phiLo, e.phi);
        phiHi = std::max(phiHi, e.phi);
        if (e.theta > 0) thetaPositive = std::min(thetaPositive, e.theta);
        else thetaNonPositive = std::max(thetaNonPositive, e.theta);
        if (e.phi > 0) phiPositive = std::min(phiPositive, e.phi);
        else phiNonPositive = std::max(phiNonPositive, e.phi);
    }
};

float thetaStep(float a, float b, bool seam) {
    float d = std::fabs(b - a);
    if (seam && d > kPi) d = std::fabs(std::min(a, b) + kTwoPi - std::max(a, b));
    return d;
}

void addRegion(ImageFootprint& footprint, float t0, float t1, float p0, float p1) {
    RenderRegion region;
    region.thetaMin = t0;
    region.thetaMax = t1;
    region.phiMin = p0;
    region.phiMax = p1;
    footprint.regions.push_back(std::move(region));
}

// A cap over every longitude, from the latitude nearest the equator to the pole.
ImageFootprint poleFootprint(const Shape& shape, const Extent& e) {
    ImageFootprint footprint;
    const float span = shape.upperPole ? kHalfPi - e.phiPositive : e.phiNonPositive + kHalfPi;
    if (shape.upperPole) addRegion(footprint, -kPi, kPi, e.phiPositive, kHalfPi);
    else addRegion(footprint, -kPi, kPi, -kHalfPi, e.phiNonPositive);
    footprint.firstEdgeTheta = kTwoPi;
    footprint.firstEdgePhi = 0;
    footprint.secondEdgeTheta = 0;
    footprint.secondEdgePhi = span;
    return footprint;
}

// c[0], c[1], c[2]: the angles of pixels (0, 0), (rows - 1, 0) and (0, cols - 1).
ImageFootprint sideFootprint(const Shape& shape, const Extent& e, const Angles* c) {
    ImageFootprint footprint;
    if (shape.seam) {
        addRegion(footprint, -kPi, e.thetaNonPositive, e.phiLo, e.phiHi);
        addRegion(footprint, e.thetaPositive, kPi, e.phiLo, e.phiHi);
    } else {
        addRegion(footprint, e.thetaLo, e.thetaHi, e.phiLo, e.phiHi);
    }
    footprint.firstEdgeTheta = thetaStep(c[0].theta, c[1].theta, shape.seam);
    footprint.firstEdgePhi = std::fabs(c[1].phi - c[0].phi);
    footprint.secondEdgeTheta = thetaStep(c[0].theta, c[2].theta, shape.seam);
    footprint.secondEdgePhi = std::fabs(c[2].phi - c[0].phi);
    return footprint;
}

}  // namespace

// The direction arithmetic of one pixel at a time (directionFrom), for a vector of pixels.
VANTORRA_WIDE_VECTORS
void directionsOfRun(const float* sinTheta, const float* cosTheta, int n, float sinPhi, float cosPhi,
                     DirectionRun& out) {
    for (int j = 0; j < n; ++j) {
        out.x[j] = -sinPhi;
        out.y[j] = sinTheta[j] * cosPhi;
        out.z[j] = cosTheta[j] * cosPhi;
    }
}

// Source positions of n pixels of one output row through an unbent camera: the operations of
// directionsOfRun and projectDirections for each pixel, without the directions in between.
VANTORRA_WIDE_VECTORS
void positionsOfRun(const float* sinTheta, const float* cosTheta, int n, float sinPhi, float cosPhi, const Mat3& P,
                    float* u, float* v) {
    const float p00 = P(0, 0), p01 = P(0, 1), p02 = P(0, 2);
    const float p10 = P(1, 0), p11 = P(1, 1), p12 = P(1, 2);
    const float p20 = P(2, 0), p21 = P(2, 1), p22 = P(2, 2);
    const float dx = -sinPhi;
    for (int j = 0; j < n; ++j) {
        const float dy = sinTheta[j] * cosPhi, dz = cosTheta[j] * cosPhi;
        const float w = p20 * dx + p21 * dy + p22 * dz;
        const bool ahead = w > 0.0f;
        const float pu = (p00 * dx + p01 * dy + p02 * dz) / w, pv = (p10 * dx + p11 * dy + p12 * dz) / w;
        u[j] = ahead ? pu : NAN;
        v[j] = ahead ? pv : NAN;
    }
}

bool Equirectangular::position(const Vec3& d, float& theta, float& phi) const {
    const float n = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    if (!(n > 0.0f)) return false;
    const Vec3 unit{d.x / n, d.y / n, d.z / n};
    theta = thetaOf(unit);
    phi = phiOf(unit);
    return true;
}

void Equirectangular::columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const {
    const size_t n = static_cast<size_t>(std::max(0, count));
    terms.first.resize(n);
    terms.second.resize(n);
    for (size_t j = 0; j < n; ++j) {
        const float theta =
            grid.thetaMin + static_cast<float>(grid.colOffset + firstCol + static_cast<int>(j)) * grid.dTheta;
        terms.first[j] = std::sin(theta);
        terms.second[j] = std::cos(theta);
    }
}

void Equirectangular::runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                                    DirectionRun& out) const {
    const float phi = grid.phiMax + static_cast<float>(grid.rowOffset + row) * grid.dPhi;
    const size_t k = static_cast<size_t>(offset);
    directionsOfRun(&terms.first[k], &terms.second[k], n, std::sin(phi), std::cos(phi), out);
}

void Equirectangular::runPositions(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                                   const Mat3& P, float* u, float* v) const {
    const float phi = grid.phiMax + static_cast<float>(grid.rowOffset + row) * grid.dPhi;
    const size_t k = static_cast<size_t>(offset);
    positionsOfRun(&terms.first[k], &terms.second[k], n, std::sin(phi), std::cos(phi), P, u, v);
}

bool Equirectangular::planeOf(const Direction& d, PlanePoint& p) const {
    p.u = std::atan2(d.y, d.z);
    p.v = std::atan2(-d.x, std::hypot(d.y, d.z));
    return true;
}

bool Equirectangular::directionAt(const PlanePoint& p, Direction& d) const {
    if (!(std::fabs(p.v) <= kHalfPi)) return false;  // the float pole, a hair beyond the true one
    d = Direction{-std::sin(p.v), std::sin(p.u) * std::cos(p.v), std::cos(p.u) * std::cos(p.v)};
    return true;
}

ImageFootprint Equirectangular::footprint(const Camera& camera, int rows, int cols) const {
    const BorderRays border = borderRays(camera, rows, cols);
    const Shape shape = shapeOf(border);
    Extent extent;
    Angles a[8];
    for (size_t i = 0; i < 8; ++i) {
        a[i] = anglesOf(border.points[i]);
        extent.take(a[i]);
    }
    for (const Vec3& d : border.edges) extent.take(anglesOf(d));
    if (shape.upperPole || shape.lowerPole) return poleFootprint(shape, extent);
    return sideFootprint(shape, extent, a);
}

}  // namespace vantorra
