#pragma once
// The equisolid (equal-area) fisheye projection: rho = 2 sin(psi / 2). Areas keep their
// proportions; the whole sphere fits in a disc of radius 2, beyond which no direction maps.

#include "render/azimuthal.h"

namespace vantorra {

class Equisolid final : public Azimuthal {
public:
    bool radiusOf(double psi, double& rho) const override;
    bool angleOf(double rho, double& psi) const override;
    float reachRadius() const override;
    void radialTerms(const float* rho, int n, float* sinOverRho, float* cosPsi) const override;
    const char* reachText() const override { return "the whole sphere"; }
};

}  // namespace vantorra
