#include "render/equisolid.h"

#include <cmath>

#include "numerics/wide_vectors.h"

namespace vantorra {
namespace {

// With s = rho / 2 = sin(psi / 2): sin(psi) / rho = sqrt(1 - s^2) and cos(psi) = 1 - 2 s^2.
VANTORRA_WIDE_VECTORS
void equisolidTerms(const float* rho, int n, float* a, float* c) {
    for (int j = 0; j < n; ++j) {
        const float s = 0.5f * rho[j];
        const bool held = s <= 1.0f;
        const float s2 = held ? s * s : 0.0f;
        a[j] = held ? std::sqrt(1.0f - s2) : 0.0f;
        c[j] = held ? 1.0f - 2.0f * s2 : 0.0f;
    }
}

}  // namespace

bool Equisolid::radiusOf(double psi, double& rho) const {
    rho = 2.0 * std::sin(psi / 2.0);
    return true;
}

bool Equisolid::angleOf(double rho, double& psi) const {
    if (!(rho <= 2.0)) return false;
    psi = 2.0 * std::asin(rho / 2.0);
    return true;
}

float Equisolid::reachRadius() const { return 2.0f; }

void Equisolid::radialTerms(const float* rho, int n, float* sinOverRho, float* cosPsi) const {
    equisolidTerms(rho, n, sinOverRho, cosPsi);
}

}  // namespace vantorra
