#pragma once
// The equirectangular projection: the plane position is (theta, phi), longitude and latitude.
// The first world axis points down: a direction is
// (-sin phi, sin theta * cos phi, cos theta * cos phi), theta the longitude about the first axis
// in [-pi, pi] and phi the latitude in [-pi/2, pi/2]. Signs count zero as positive. The
// longitude wraps: a panorama may run across theta = +-pi, and a full turn is 2 pi wide.

#include <cmath>

#include "numerics/angles.h"
#include "numerics/mat3.h"
#include "render/projection.h"

namespace vantorra {

// acos of a value that rounding may have pushed just past +-1.
inline float clampedAcos(float x) { return std::acos(std::fmin(1.0f, std::fmax(-1.0f, x))); }

// Longitude of direction d; 0 on the first axis itself, where it is undefined.
inline float thetaOf(const Vec3& d) {
    const float yz = std::sqrt(d.y * d.y + d.z * d.z);
    if (yz == 0.0f) return 0.0f;
    const float a = clampedAcos(d.z / yz);
    return d.y >= 0.0f ? a : -a;
}

// Latitude of the unit direction d.
inline float phiOf(const Vec3& d) {
    const float a = clampedAcos(std::sqrt(d.y * d.y + d.z * d.z));
    return d.x >= 0.0f ? -a : a;
}

// The direction from the sines and cosines of its angles, for loops that reuse them.
inline Vec3 directionFrom(float sinTheta, float cosTheta, float sinPhi, float cosPhi) {
    return Vec3{-sinPhi, sinTheta * cosPhi, cosTheta * cosPhi};
}

inline Vec3 directionOf(float theta, float phi) {
    return directionFrom(std::sin(theta), std::cos(theta), std::sin(phi), std::cos(phi));
}

// The directions of n pixels of one row from their columns' sines and cosines of theta and the
// row's of phi, and (fused) their source positions through an unbent camera, as projectDirections
// gives them: for every projection whose plane is longitude across and a function of latitude down.
void directionsOfRun(const float* sinTheta, const float* cosTheta, int n, float sinPhi, float cosPhi,
                     DirectionRun& out);
void positionsOfRun(const float* sinTheta, const float* cosTheta, int n, float sinPhi, float cosPhi, const Mat3& P,
                    float* u, float* v);

class Equirectangular final : public Projection {
public:
    Vec3 direction(float theta, float phi) const override { return directionOf(theta, phi); }
    bool position(const Vec3& d, float& theta, float& phi) const override;
    // Every column's sine and cosine of theta.
    void columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const override;
    void runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                       DirectionRun& out) const override;
    // Directions and positions in one pass.
    void runPositions(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n, const Mat3& P,
                      float* u, float* v) const override;
    // One rectangle, two across the seam at theta = +-pi, or a full-longitude cap for a
    // photograph holding a pole; found from the corners and edge midpoints (and, through a bent
    // lens, points along every edge).
    ImageFootprint footprint(const Camera& camera, int rows, int cols) const override;
    std::optional<PlaneWrap> wrap() const override { return PlaneWrap{-kPi, kPi}; }
    bool planeOf(const Direction& d, PlanePoint& p) const override;
    bool directionAt(const PlanePoint& p, Direction& d) const override;
    PlaneBounds reach() const override { return PlaneBounds{-kPi, kPi, -kHalfPi, kHalfPi}; }
    const char* reachText() const override { return "the whole sphere"; }
};

}  // namespace vantorra
