#pragma once
// Robust error of one match residual. Below the threshold a residual counts in full; beyond it
// the Huber mode shrinks it to the length whose square is the Huber cost, and the reject mode
// drops it. The weight scales that match's derivatives in the normal equations.

#include <cstdint>

namespace vantorra {

struct RobustResidual {
    float x = 0.0f;  // transformed residual, same direction as the original
    float y = 0.0f;
    float weight = 1.0f;
};

// The residual (x, y) after the robust transform of `robustMode` (0 none, 2 Huber, any other
// value reject) with threshold `threshold`; unchanged with weight 1 when mode is 0, when its
// length is below the threshold, or when it is exactly zero. A Huber threshold that is not
// positive drops the residual like a rejection (the limit of the Huber transform).
RobustResidual robustResidual(float x, float y, int32_t robustMode, float threshold);

}  // namespace vantorra
