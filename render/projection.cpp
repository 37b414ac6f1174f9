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
        u[j] = (p00 * dx + p01 * dy + p02 * dz) / w;
        v[j] = (p10 * dx + p11 * dy + p12 * dz) / w;
    }
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
