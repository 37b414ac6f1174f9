#include "render/orthographic.h"

#include <cmath>

#include "numerics/wide_vectors.h"

namespace vantorra {
namespace {

// sin(psi) / rho = 1 and cos(psi) = sqrt(1 - rho^2) inside the unit disc.
VANTORRA_WIDE_VECTORS
void orthographicTerms(const float* rho, int n, float* a, float* c) {
    for (int j = 0; j < n; ++j) {
        const float r = rho[j];
        const bool held = r <= 1.0f;
        a[j] = held ? 1.0f : 0.0f;
        c[j] = held ? std::sqrt(1.0f - (held ? r * r : 0.0f)) : 0.0f;
    }
}

}  // namespace

bool Orthographic::radiusOf(double psi, double& rho) const {
    if (!(psi <= M_PI / 2)) return false;  // the half behind
    rho = std::sin(psi);
    return true;
}

bool Orthographic::angleOf(double rho, double& psi) const {
    if (!(rho <= 1.0)) return false;
    psi = std::asin(rho);
    return true;
}

float Orthographic::reachRadius() const { return 1.0f; }

void Orthographic::radialTerms(const float* rho, int n, float* sinOverRho, float* cosPsi) const {
    orthographicTerms(rho, n, sinOverRho, cosPsi);
}

}  // namespace vantorra
