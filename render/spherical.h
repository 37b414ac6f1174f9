#pragma once
// Panorama directions. The first world axis points down: a direction is
// (-sin phi, sin theta * cos phi, cos theta * cos phi), theta the longitude about the first axis
// in [-pi, pi] and phi the latitude in [-pi/2, pi/2]. Signs count zero as positive.

#include <cmath>

#include "numerics/mat3.h"

namespace vantorra {

inline constexpr float kPi = 3.14159265f;
inline constexpr float kHalfPi = 1.57079633f;
inline constexpr float kTwoPi = 6.28318531f;

// acos of a value that rounding may have pushed just past +-1.
inline float clampedAcos(float x) { return std::acos(std::fmin(1.0f, std::fmax(-1.0f, x))); }

// Longitude of direction d; 0 on the first axis itself, where it is undefined.
inline float thetaOf(const Vec3& d) {
    const float yz = std::sqrt(d.y * d.y + d.z * d.z);
    if (yz == 0.0f) return 0.0f;
    const float a = clampedAcos(d.z / yz);
    return d.y >= 0.0f ? a : -a;
}

// Latitude of the unit direction d.
inline float phiOf(const Vec3& d) {
    const float a = clampedAcos(std::sqrt(d.y * d.y + d.z * d.z));
    return d.x >= 0.0f ? -a : a;
}

inline Vec3 directionOf(float theta, float phi) {
    const float cp = std::cos(phi);
    return Vec3{-std::sin(phi), std::sin(theta) * cp, std::cos(theta) * cp};
}

}  // namespace vantorra
