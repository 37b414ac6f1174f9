#include "render/mercator.h"

#include <cmath>

namespace vantorra {

double Mercator::stretchOfTangent(double t) const { return std::asinh(t); }

double Mercator::latitudeOf(double v) const { return std::atan(std::sinh(v)); }

void Mercator::latitudeTerms(float v, float& sinPhi, float& cosPhi) const {
    sinPhi = std::tanh(v);
    cosPhi = 1.0f / std::cosh(v);
}

}  // namespace vantorra
