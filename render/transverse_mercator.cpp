#include "render/transverse_mercator.h"

#include <cmath>

#include "numerics/angles.h"
#include "numerics/wide_vectors.h"
#include "render/sampled_footprint.h"

namespace vantorra {
namespace {

// atanh(sin 80 degrees).
constexpr float kReach = 2.43624605f;

// The direction from tanh u, 1 / cosh u and the sine and cosine of v.
inline Vec3 transverseDirection(float tanhU, float sechU, float sinV, float cosV) {
    return Vec3{-sechU * sinV, tanhU, sechU * cosV};
}

VANTORRA_WIDE_VECTORS
void transverseRun(const float* tanhU, const float* sechU, int n, float sinV, float cosV, DirectionRun& out) {
    for (int j = 0; j < n; ++j) {
        const Vec3 d = transverseDirection(tanhU[j], sechU[j], sinV, cosV);
        out.x[j] = d.x;
        out.y[j] = d.y;
        out.z[j] = d.z;
    }
}

}  // namespace

Vec3 TransverseMercator::direction(float theta, float phi) const {
    return transverseDirection(std::tanh(theta), 1.0f / std::cosh(theta), std::sin(phi), std::cos(phi));
}

bool TransverseMercator::planeOf(const Direction& d, PlanePoint& p) const {
    if (!(std::fabs(d.y) < 1.0)) return false;  // a pole, left or right on the horizon
    p = PlanePoint{std::atanh(d.y), std::atan2(-d.x, d.z)};
    return true;
}

bool TransverseMercator::directionAt(const PlanePoint& p, Direction& d) const {
    const double sech = 1.0 / std::cosh(p.u);
    d = Direction{-sech * std::sin(p.v), std::tanh(p.u), sech * std::cos(p.v)};
    return true;
}

PlaneBounds TransverseMercator::reach() const { return PlaneBounds{-kReach, kReach, -kPi, kPi}; }

void TransverseMercator::columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const {
    columnPositions(grid, firstCol, count, terms.first);
    terms.second.resize(terms.first.size());
    for (size_t j = 0; j < terms.first.size(); ++j) {
        const float u = terms.first[j];
        terms.first[j] = std::tanh(u);
        terms.second[j] = 1.0f / std::cosh(u);
    }
}

void TransverseMercator::runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                                       DirectionRun& out) const {
    const float v = rowPosition(grid, row);
    const size_t k = static_cast<size_t>(offset);
    transverseRun(&terms.first[k], &terms.second[k], n, std::sin(v), std::cos(v), out);
}

ImageFootprint TransverseMercator::footprint(const Camera& camera, int rows, int cols) const {
    return sampledFootprint(*this, camera, rows, cols);
}

}  // namespace vantorra
