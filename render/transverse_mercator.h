#pragma once
// The transverse Mercator projection: Mercator about the second (right) axis instead of the
// first, (u, v) = (atanh B, atan2(tan phi, cos theta)) with B = cos phi sin theta, the sine of
// the angle from the vertical great circle ahead. Conformal, and at home with tall panoramas:
// the vertical circle through the centre is drawn true over its whole turn. Its poles lie left
// and right on the horizon; it draws up to 80 degrees from the vertical circle and cuts a
// wider field.

#include "render/projection.h"

namespace vantorra {

class TransverseMercator final : public Projection {
public:
    Vec3 direction(float theta, float phi) const override;
    bool planeOf(const Direction& d, PlanePoint& p) const override;
    bool directionAt(const PlanePoint& p, Direction& d) const override;
    PlaneBounds reach() const override;
    const char* reachText() const override { return "80 degrees to either side of the vertical through the centre"; }
    // Every column's tanh u and 1 / cosh u.
    void columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const override;
    void runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                       DirectionRun& out) const override;
    ImageFootprint footprint(const Camera& camera, int rows, int cols) const override;
};

}  // namespace vantorra
