#pragma once
// The stereographic projection: rho = 2 tan(psi / 2). Conformal: small things keep their
// shapes, and circles on the sphere stay circles, which suits a wide interior or a "little
// planet". The back direction lies at infinity; it draws up to 150 degrees from the centre along
// either axis and cuts a wider field.

#include "render/azimuthal.h"

namespace vantorra {

class Stereographic final : public Azimuthal {
public:
    bool radiusOf(double psi, double& rho) const override;
    bool angleOf(double rho, double& psi) const override;
    float reachRadius() const override;
    void radialTerms(const float* rho, int n, float* sinOverRho, float* cosPsi) const override;
    const char* reachText() const override { return "150 degrees from the centre along either axis"; }
};

}  // namespace vantorra
