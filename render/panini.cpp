#include "render/panini.h"

#include <cmath>

#include "numerics/wide_vectors.h"
#include "render/sampled_footprint.h"

namespace vantorra {
namespace {

// 2 tan(75 degrees): 150 degrees of longitude.
constexpr float kReach = 7.46410162f;

inline float halfCosineTerm(float u) { return 1.0f / (1.0f + 0.25f * u * u); }

// With t = u / 2 and q = 1 / (1 + t^2): sin theta = u q, cos theta = 2 q - 1, tan phi = v q.
inline Vec3 paniniDirection(float u, float q, float v) {
    const float t = v * q;
    const float c = 1.0f / std::sqrt(1.0f + t * t);
    return Vec3{-t * c, u * q * c, (2.0f * q - 1.0f) * c};
}

VANTORRA_WIDE_VECTORS
void paniniRun(const float* u, const float* q, int n, float v, DirectionRun& out) {
    for (int j = 0; j < n; ++j) {
        const Vec3 d = paniniDirection(u[j], q[j], v);
        out.x[j] = d.x;
        out.y[j] = d.y;
        out.z[j] = d.z;
    }
}

}  // namespace

Vec3 Panini::direction(float theta, float phi) const { return paniniDirection(theta, halfCosineTerm(theta), phi); }

bool Panini::planeOf(const Direction& d, PlanePoint& p) const {
    const double h = std::hypot(d.y, d.z);
    const double theta = std::atan2(d.y, d.z);
    const double k = 1.0 + std::cos(theta);
    if (!(h > 0.0) || !(k > 1e-12)) return false;  // a pole, or straight behind
    p = PlanePoint{2.0 * std::sin(theta) / k, 2.0 * (-d.x / h) / k};
    return true;
}

bool Panini::directionAt(const PlanePoint& p, Direction& d) const {
    const double theta = 2.0 * std::atan(p.u / 2.0);
    const double phi = std::atan(p.v * (1.0 + std::cos(theta)) / 2.0);
    d = Direction{-std::sin(phi), std::sin(theta) * std::cos(phi), std::cos(theta) * std::cos(phi)};
    return true;
}

PlaneBounds Panini::reach() const { return PlaneBounds{-kReach, kReach, -kReach, kReach}; }

void Panini::columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const {
    columnPositions(grid, firstCol, count, terms.first);
    terms.second.resize(terms.first.size());
    for (size_t j = 0; j < terms.first.size(); ++j) terms.second[j] = halfCosineTerm(terms.first[j]);
}

void Panini::runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                           DirectionRun& out) const {
    const size_t k = static_cast<size_t>(offset);
    paniniRun(&terms.first[k], &terms.second[k], n, rowPosition(grid, row), out);
}

ImageFootprint Panini::footprint(const Camera& camera, int rows, int cols) const {
    return sampledFootprint(*this, camera, rows, cols);
}

}  // namespace vantorra
