#pragma once
// The rectilinear (flat, gnomonic) projection: the plane a pinhole camera looking along the
// third axis sees, (u, v) = (d1 / d2, -d0 / d2). Every straight line stays straight; sizes grow
// without bound towards 90 degrees from the centre, so it draws up to 80 degrees from the centre
// along either plane axis and cuts a wider field to that.

#include "render/projection.h"

namespace vantorra {

class Rectilinear final : public Projection {
public:
    Vec3 direction(float theta, float phi) const override;
    bool planeOf(const Direction& d, PlanePoint& p) const override;
    bool directionAt(const PlanePoint& p, Direction& d) const override;
    PlaneBounds reach() const override;
    const char* reachText() const override { return "80 degrees from the centre along either axis"; }
    // Every column's plane position.
    void columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const override;
    void runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                       DirectionRun& out) const override;
    ImageFootprint footprint(const Camera& camera, int rows, int cols) const override;
};

}  // namespace vantorra
