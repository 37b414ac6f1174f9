#pragma once
// The cylindrical projection: longitude across, the tangent of the latitude up. Vertical lines
// stay vertical and a row of photographs keeps its straight horizon over any width; heights
// grow towards the poles.

#include "render/latitude_projection.h"

namespace vantorra {

class Cylindrical final : public LatitudeProjection {
public:
    double stretchOfTangent(double t) const override { return t; }
    double latitudeOf(double v) const override;
    void latitudeTerms(float v, float& sinPhi, float& cosPhi) const override;
};

}  // namespace vantorra
