#pragma once
// The one random sequence of the program: a linear congruential generator whose state starts at
// 1 when the program starts and is never reseeded. Every stitch of one program run draws from the
// same continuing sequence, so the first stitch after start is repeatable.

#include <cstdint>

namespace vantorra {

// Advances state = state * 214013 + 2531011 (mod 2^32) and returns (state >> 16) & 0x7FFF.
int32_t nextRandom();
// The current state, for checking the sequence; it cannot be set.
uint32_t randomState();

}  // namespace vantorra
