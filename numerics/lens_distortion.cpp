#include "numerics/lens_distortion.h"

#include <cmath>

namespace vantorra {

namespace {

// g(t) = t (1 + k1 t^2 + k2 t^4), the seen normalised radius of ideal radius t, and g'(t).
float seenRadius(const LensDistortion& d, float t) { return t * distortionFactor(d, t * t); }
float seenSlope(const LensDistortion& d, float t) {
    const float t2 = t * t;
    return 1.0f + t2 * (3.0f * d.k1 + 5.0f * d.k2 * t2);
}

}  // namespace

// Radii beyond 2 (over 60 degrees off axis) are outside any lens this model describes.
float foldRadius(const LensDistortion& d) {
    if (d.none()) return INFINITY;
    constexpr float kLargest = 2.0f;
    if (seenSlope(d, kLargest) > 0.0f) {
        // Positive at the ends does not rule out a dip between them when k1 and k2 differ in sign.
        bool dips = false;
        for (float t = 0.125f; t < kLargest && !dips; t += 0.125f) dips = seenSlope(d, t) <= 0.0f;
        if (!dips) return INFINITY;
    }
    float lo = 0.0f, hi = kLargest;
    for (int i = 0; i < 40; ++i) {
        const float mid = 0.5f * (lo + hi);
        (seenSlope(d, mid) > 0.0f ? lo : hi) = mid;
    }
    return lo;
}

Undistortion undistortion(const LensDistortion& d, float f, float x, float y) {
    Undistortion out;
    const float rho = std::sqrt(x * x + y * y) / f;
    if (!(rho > 1e-12f) || !std::isfinite(rho)) return out;
    if (d.none()) {  // the ideal position is the seen one; the derivatives are those at zero
        out.dScaleDk1 = -rho * rho;
        out.dScaleDk2 = -rho * rho * rho * rho;
        return out;
    }
    // Newton's method from the seen radius; it converges in a few steps wherever the lens is
    // still growing. Only when it does not (a strong lens, a position near or past its fold) is
    // the fold itself looked for.
    float t = rho;
    bool converged = false;
    for (int i = 0; i < 20 && !converged; ++i) {
        const float slope = seenSlope(d, t);
        if (!(slope > 0.0f)) break;
        const float step = (seenRadius(d, t) - rho) / slope;
        t -= step;
        converged = std::fabs(step) <= 1e-7f * std::fabs(t) && t > 0.0f && seenSlope(d, t) > 0.0f;
    }
    if (!converged) {
        const float fold = foldRadius(d);
        const float top = std::isfinite(fold) ? fold : 2.0f;
        if (rho >= seenRadius(d, top)) {
            t = top;
        } else {  // the root lies below the fold, where g grows: bisection finds it
            float lo = 0.0f, hi = top;
            for (int i = 0; i < 40; ++i) {
                const float mid = 0.5f * (lo + hi);
                (seenRadius(d, mid) < rho ? lo : hi) = mid;
            }
            t = 0.5f * (lo + hi);
        }
    }
    const float slope = std::fmax(seenSlope(d, t), 1e-6f);
    out.scale = t / rho;
    out.dScaleDf = (out.scale - 1.0f / slope) / f;
    out.dScaleDk1 = -t * t * t / (slope * rho);
    out.dScaleDk2 = -t * t * t * t * t / (slope * rho);
    return out;
}

}  // namespace vantorra
