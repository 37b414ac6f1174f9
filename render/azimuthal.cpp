#include "render/azimuthal.h"

#include <cmath>

#include "numerics/wide_vectors.h"
#include "render/sampled_footprint.h"

namespace vantorra {
namespace {

VANTORRA_WIDE_VECTORS
void radiiOfRun(const float* u, int n, float v, float* rho) {
    for (int j = 0; j < n; ++j) rho[j] = std::sqrt(u[j] * u[j] + v * v);
}

VANTORRA_WIDE_VECTORS
void azimuthalRun(const float* u, int n, float v, const float* a, const float* c, DirectionRun& out) {
    for (int j = 0; j < n; ++j) {
        out.x[j] = -v * a[j];
        out.y[j] = u[j] * a[j];
        out.z[j] = c[j];
    }
}

}  // namespace

Vec3 Azimuthal::direction(float theta, float phi) const {
    const float rho = std::sqrt(theta * theta + phi * phi);
    float a = 0, c = 0;
    radialTerms(&rho, 1, &a, &c);
    return Vec3{-phi * a, theta * a, c};
}

bool Azimuthal::planeOf(const Direction& d, PlanePoint& p) const {
    const double h = std::hypot(d.x, d.y);
    double rho = 0;
    if (!radiusOf(std::atan2(h, d.z), rho)) return false;
    if (!(h > 0.0)) {  // the centre, or straight behind: the whole rim, of which one point
        p = PlanePoint{d.z > 0.0 ? 0.0 : rho, 0.0};
        return true;
    }
    p = PlanePoint{rho * d.y / h, -rho * d.x / h};
    return true;
}

bool Azimuthal::directionAt(const PlanePoint& p, Direction& d) const {
    const double rho = std::hypot(p.u, p.v);
    double psi = 0;
    if (!angleOf(rho, psi)) return false;
    const double a = rho > 0.0 ? std::sin(psi) / rho : 1.0;
    d = Direction{-p.v * a, p.u * a, std::cos(psi)};
    return true;
}

PlaneBounds Azimuthal::reach() const {
    const float r = reachRadius();
    return PlaneBounds{-r, r, -r, r};
}

void Azimuthal::columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const {
    columnPositions(grid, firstCol, count, terms.first);
}

void Azimuthal::runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                              DirectionRun& out) const {
    alignas(32) float rho[kDirectionRun];
    alignas(32) float a[kDirectionRun];
    alignas(32) float c[kDirectionRun];
    const float v = rowPosition(grid, row);
    const float* u = &terms.first[static_cast<size_t>(offset)];
    radiiOfRun(u, n, v, rho);
    radialTerms(rho, n, a, c);
    azimuthalRun(u, n, v, a, c, out);
}

ImageFootprint Azimuthal::footprint(const Camera& camera, int rows, int cols) const {
    return sampledFootprint(*this, camera, rows, cols);
}

}  // namespace vantorra
