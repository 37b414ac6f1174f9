#pragma once
// The azimuthal projections (stereographic, fisheye, equisolid, orthographic): a direction at
// angle psi from the forward axis lands at radius rho(psi) from the centre, towards its own
// azimuth: (u, v) = rho (d1, -d0) / hypot(d0, d1). They differ only in rho; this base holds the
// rest. A pixel at a radius no direction maps to has none: the zero vector, which no camera sees.

#include "render/projection.h"

namespace vantorra {

class Azimuthal : public Projection {
public:
    // rho of the angle psi from the forward axis, false beyond what the projection holds.
    virtual bool radiusOf(double psi, double& rho) const = 0;
    // psi of the radius rho >= 0, false where no direction maps.
    virtual bool angleOf(double rho, double& psi) const = 0;
    // The radius drawn at most along either plane axis.
    virtual float reachRadius() const = 0;
    // For n radii: sin(psi) / rho (1 at rho = 0) and cos(psi), both 0 where no direction maps.
    virtual void radialTerms(const float* rho, int n, float* sinOverRho, float* cosPsi) const = 0;

    Vec3 direction(float theta, float phi) const override;
    bool planeOf(const Direction& d, PlanePoint& p) const override;
    bool directionAt(const PlanePoint& p, Direction& d) const override;
    PlaneBounds reach() const override;
    // Every column's plane position.
    void columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const override;
    void runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                       DirectionRun& out) const override;
    ImageFootprint footprint(const Camera& camera, int rows, int cols) const override;
};

}  // namespace vantorra
