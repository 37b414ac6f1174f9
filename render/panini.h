#pragma once
// The general Panini projection (d = 1): (u, v) = (2 sin theta, 2 tan phi) / (1 + cos theta).
// Seen from one unit behind the centre of the sphere onto a cylinder: vertical lines and lines
// through the centre stay straight, and a wide interior keeps its proportions. It draws up to
// 150 degrees to either side, where the scale has grown fourteen-fold, and cuts a wider field.

#include "render/projection.h"

namespace vantorra {

class Panini final : public Projection {
public:
    Vec3 direction(float theta, float phi) const override;
    bool planeOf(const Direction& d, PlanePoint& p) const override;
    bool directionAt(const PlanePoint& p, Direction& d) const override;
    PlaneBounds reach() const override;
    const char* reachText() const override { return "150 degrees to either side"; }
    // Every column's plane position u and 1 / (1 + (u / 2)^2), the half of 1 + cos theta.
    void columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const override;
    void runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                       DirectionRun& out) const override;
    ImageFootprint footprint(const Camera& camera, int rows, int cols) const override;
};

}  // namespace vantorra
