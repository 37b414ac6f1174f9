#include "adjust/robust_error.h"

#include <cmath>

#include "options/stitch_options.h"

namespace vantorra {

RobustResidual robustResidual(float x, float y, int32_t robustMode, float threshold) {
    RobustResidual out{x, y, 1.0f};
    if (robustMode == RobustNone) return out;
    const float h = std::sqrt(x * x + y * y);
    // A zero residual needs no transform; with a zero threshold the Huber branch would
    // otherwise divide zero by zero.
    if (h < threshold || h == 0.0f) return out;
    // As the threshold shrinks to zero the Huber length and weight both tend to zero, so a
    // threshold that is not positive (which would give 0 / 0 or a root of a negative number)
    // is treated as that limit, like a rejection.
    if (robustMode == RobustHuber && threshold > 0.0f) {
        const float l = std::sqrt(2.0f * threshold * h - threshold * threshold);
        out.x = x * l / h;
        out.y = y * l / h;
        out.weight = threshold / l;
        return out;
    }
    return RobustResidual{0.0f, 0.0f, 0.0f};
}

}  // namespace vantorra
