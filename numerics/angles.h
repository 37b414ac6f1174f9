#pragma once
// The single-precision angle constants every stage shares. Each is the float nearest its value,
// so kTwoPi == 2 * kPi and kHalfPi == kPi / 2 exactly.

namespace vantorra {

inline constexpr float kPi = 3.14159265f;
inline constexpr float kHalfPi = 1.57079633f;
inline constexpr float kTwoPi = 6.28318531f;

static_assert(kTwoPi == 2.0f * kPi && kHalfPi == kPi / 2.0f);

}  // namespace vantorra
