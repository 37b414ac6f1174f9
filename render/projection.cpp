#include "render/projection.h"

#include <algorithm>
#include <cmath>

#include "numerics/wide_vectors.h"

namespace vantorra {

// The operations of one pixel at a time, done for a vector of pixels at once.
VANTORRA_WIDE_VECTORS
void projectDirections(const DirectionRun& d, int n, const Mat3& P, float* u, float* v) {
    const float p00 = P(0, 0), p01 = P(0, 1), p02 = P(0, 2);
    const float p10 = P(1, 0), p11 = P(1, 1), p12 = P(1, 2);
    const float p20 = P(2, 0), p21 = P(2, 1), p22 = P(2, 2);
    for (int j = 0; j < n; ++j) {
        const float dx = d.x[j], dy = d.y[j], dz = d.z[j];
        const float w = p20 * dx + p21 * dy + p22 * dz;
        const bool ahead = w > 0.0f;
        const float pu = (p00 * dx + p01 * dy + p02 * dz) / w, pv = (p10 * dx + p11 * dy + p12 * dz) / w;
        u[j] = ahead ? pu : NAN;
        v[j] = ahead ? pv : NAN;
    }
}

void columnPositions(const PanoramaGrid& grid, int firstCol, int count, std::vector<float>& positions) {
    positions.resize(static_cast<size_t>(std::max(0, count)));
    for (size_t j = 0; j < positions.size(); ++j) positions[j] = columnPosition(grid, firstCol + static_cast<int>(j));
}

bool Projection::position(const Vec3& d, float& theta, float& phi) const {
    const double n = std::sqrt(static_cast<double>(d.x) * d.x + static_cast<double>(d.y) * d.y +
                               static_cast<double>(d.z) * d.z);
    PlanePoint p;
    if (!(n > 0.0) || !planeOf(Direction{d.x / n, d.y / n, d.z / n}, p)) return false;
    theta = static_cast<float>(p.u);
    phi = static_cast<float>(p.v);
    return true;
}

void Projection::runPositions(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                              const Mat3& P, float* u, float* v) const {
    DirectionRun d;
    runDirections(grid, row, terms, offset, n, d);
    projectDirections(d, n, P, u, v);
}

Matrix Projection::middleTurn(float theta) const { return rotationX(-theta); }

PlaneBounds Projection::bounds(const std::vector<ImageFootprint>& footprints) const {
    PlaneBounds b{INFINITY, -INFINITY, INFINITY, -INFINITY};
    for (const ImageFootprint& footprint : footprints)
        for (const RenderRegion& region : footprint.regions) {
            b.thetaMin = std::min(b.thetaMin, region.thetaMin);
            b.thetaMax = std::max(b.thetaMax, region.thetaMax);
            b.phiMin = std::min(b.phiMin, region.phiMin);
            b.phiMax = std::max(b.phiMax, region.phiMax);
        }
    return b;
}

}  // namespace vantorra
