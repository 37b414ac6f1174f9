#pragma once
// The Mercator projection: longitude across, ln tan(pi/4 + phi/2) up. It keeps the shapes of
// small things everywhere (it is conformal), stretching them less near the poles than the
// cylinder does.

#include "render/latitude_projection.h"

namespace vantorra {

class Mercator final : public LatitudeProjection {
public:
    // ln tan(pi/4 + phi/2) = asinh(tan phi), without the tangent of a sum near its pole.
    double stretchOfTangent(double t) const override;
    double latitudeOf(double v) const override;
    void latitudeTerms(float v, float& sinPhi, float& cosPhi) const override;
};

}  // namespace vantorra
