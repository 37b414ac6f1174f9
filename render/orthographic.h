#pragma once
// The orthographic projection: rho = sin psi, the sphere seen from far away. It holds only
// the half ahead (at most 90 degrees from the centre) in a disc of radius 1 and cuts a field
// that reaches further.

#include "render/azimuthal.h"

namespace vantorra {

class Orthographic final : public Azimuthal {
public:
    bool radiusOf(double psi, double& rho) const override;
    bool angleOf(double rho, double& psi) const override;
    float reachRadius() const override;
    void radialTerms(const float* rho, int n, float* sinOverRho, float* cosPsi) const override;
    const char* reachText() const override { return "90 degrees from the centre"; }
};

}  // namespace vantorra
