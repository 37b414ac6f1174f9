#include "render/cylindrical.h"

#include <cmath>

namespace vantorra {

double Cylindrical::latitudeOf(double v) const { return std::atan(v); }

void Cylindrical::latitudeTerms(float v, float& sinPhi, float& cosPhi) const {
    cosPhi = 1.0f / std::sqrt(1.0f + v * v);
    sinPhi = v * cosPhi;
}

}  // namespace vantorra
