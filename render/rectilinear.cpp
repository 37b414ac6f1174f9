#include "render/rectilinear.h"

#include <cmath>

#include "numerics/wide_vectors.h"
#include "render/sampled_footprint.h"

namespace vantorra {
namespace {

// tan(80 degrees).
constexpr float kReach = 5.67128182f;

inline Vec3 flatDirection(float u, float v) {
    const float n = 1.0f / std::sqrt(1.0f + u * u + v * v);
    return Vec3{-v * n, u * n, n};
}

VANTORRA_WIDE_VECTORS
void flatRun(const float* u, int n, float v, DirectionRun& out) {
    for (int j = 0; j < n; ++j) {
        const Vec3 d = flatDirection(u[j], v);
        out.x[j] = d.x;
        out.y[j] = d.y;
        out.z[j] = d.z;
    }
}

}  // namespace

Vec3 Rectilinear::direction(float theta, float phi) const { return flatDirection(theta, phi); }

bool Rectilinear::planeOf(const Direction& d, PlanePoint& p) const {
    if (!(d.z > 0.0)) return false;  // the plane sees only what lies ahead
    p = PlanePoint{d.y / d.z, -d.x / d.z};
    return true;
}

bool Rectilinear::directionAt(const PlanePoint& p, Direction& d) const {
    const double n = 1.0 / std::sqrt(1.0 + p.u * p.u + p.v * p.v);
    d = Direction{-p.v * n, p.u * n, n};
    return true;
}

PlaneBounds Rectilinear::reach() const { return PlaneBounds{-kReach, kReach, -kReach, kReach}; }

void Rectilinear::columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const {
    columnPositions(grid, firstCol, count, terms.first);
}

void Rectilinear::runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                                DirectionRun& out) const {
    flatRun(&terms.first[static_cast<size_t>(offset)], n, rowPosition(grid, row), out);
}

ImageFootprint Rectilinear::footprint(const Camera& camera, int rows, int cols) const {
    return sampledFootprint(*this, camera, rows, cols);
}

}  // namespace vantorra
