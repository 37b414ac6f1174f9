#pragma once
// The equidistant fisheye projection: rho = psi. The radius is the angle from the centre, so the
// whole sphere fits in a disc of radius pi; beyond it no direction maps.

#include "render/azimuthal.h"

namespace vantorra {

class Fisheye final : public Azimuthal {
public:
    bool radiusOf(double psi, double& rho) const override;
    bool angleOf(double rho, double& psi) const override;
    float reachRadius() const override;
    void radialTerms(const float* rho, int n, float* sinOverRho, float* cosPsi) const override;
    const char* reachText() const override { return "the whole sphere"; }
};

}  // namespace vantorra
