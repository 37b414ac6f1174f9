#pragma once
// The projections whose plane is the longitude across and a function of the latitude up
// (cylindrical, Mercator): they share the equirectangular one's longitude, its wrap and its
// footprints' shapes, and differ in how a latitude is stretched. Near the poles the stretch
// grows without bound, so they draw latitudes up to kMaxLatitude and cut a field beyond it.

#include "render/projection.h"

namespace vantorra {

class LatitudeProjection : public Projection {
public:
    // The latitude drawn at most, either side of the equator.
    static constexpr double kMaxLatitude = 80.0 * 3.14159265358979323846 / 180.0;

    // The second plane coordinate of a direction whose latitude has tangent t, and the latitude
    // of second plane coordinate v.
    virtual double stretchOfTangent(double t) const = 0;
    virtual double latitudeOf(double v) const = 0;
    // The sine and cosine of the latitude at second plane coordinate v, in floats.
    virtual void latitudeTerms(float v, float& sinPhi, float& cosPhi) const = 0;

    Vec3 direction(float theta, float phi) const override;
    bool planeOf(const Direction& d, PlanePoint& p) const override;
    bool directionAt(const PlanePoint& p, Direction& d) const override;
    PlaneBounds reach() const override;
    const char* reachText() const override { return "latitudes up to 80 degrees"; }
    // Every column's sine and cosine of the longitude.
    void columnTerms(const PanoramaGrid& grid, int firstCol, int count, ColumnTerms& terms) const override;
    void runDirections(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n,
                       DirectionRun& out) const override;
    void runPositions(const PanoramaGrid& grid, int row, const ColumnTerms& terms, int offset, int n, const Mat3& P,
                      float* u, float* v) const override;
    // The equirectangular footprint with its latitudes stretched, cut at kMaxLatitude.
    ImageFootprint footprint(const Camera& camera, int rows, int cols) const override;
    std::optional<PlaneWrap> wrap() const override;
};

}  // namespace vantorra
