#include "render/stereographic.h"

#include <cmath>

#include "numerics/wide_vectors.h"

namespace vantorra {
namespace {

// With t = rho / 2: sin(psi) / rho = 1 / (1 + t^2) and cos(psi) = (1 - t^2) / (1 + t^2).
VANTORRA_WIDE_VECTORS
void stereographicTerms(const float* rho, int n, float* a, float* c) {
    for (int j = 0; j < n; ++j) {
        const float t = 0.5f * rho[j];
        const float k = 1.0f / (1.0f + t * t);
        a[j] = k;
        c[j] = (1.0f - t * t) * k;
    }
}

}  // namespace

bool Stereographic::radiusOf(double psi, double& rho) const {
    if (!(psi < M_PI)) return false;
    rho = 2.0 * std::tan(psi / 2.0);
    return true;
}

bool Stereographic::angleOf(double rho, double& psi) const {
    psi = 2.0 * std::atan(rho / 2.0);
    return true;
}

// 2 tan(75 degrees): 150 degrees from the centre.
float Stereographic::reachRadius() const { return 7.46410162f; }

void Stereographic::radialTerms(const float* rho, int n, float* sinOverRho, float* cosPsi) const {
    stereographicTerms(rho, n, sinOverRho, cosPsi);
}

}  // namespace vantorra
