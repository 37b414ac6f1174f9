#include "render/fisheye.h"

#include <cmath>

#include "numerics/angles.h"

namespace vantorra {

bool Fisheye::radiusOf(double psi, double& rho) const {
    rho = psi;
    return true;
}

bool Fisheye::angleOf(double rho, double& psi) const {
    psi = rho;
    return rho <= kPi;  // the float reach, a hair beyond pi, as the samplers hold it
}

float Fisheye::reachRadius() const { return kPi; }

void Fisheye::radialTerms(const float* rho, int n, float* sinOverRho, float* cosPsi) const {
    for (int j = 0; j < n; ++j) {
        const float r = rho[j];
        const bool held = r <= kPi;
        sinOverRho[j] = !held ? 0.0f : (r > 0.0f ? std::sin(r) / r : 1.0f);
        cosPsi[j] = held ? std::cos(r) : 0.0f;
    }
}

}  // namespace vantorra
