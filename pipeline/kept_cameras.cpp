#include "pipeline/kept_cameras.h"

#include <algorithm>
#include <cmath>

namespace vantorra {

namespace {

// Six significant digits of the larger value.
bool sameNumber(float a, float b) { return std::fabs(a - b) <= 5e-6f * std::max(std::fabs(a), std::fabs(b)); }

bool sameMatrix(const Matrix& a, const Matrix& b, float absolute) {
    if (a.rows != b.rows || a.cols != b.cols || a.data.size() != b.data.size()) return false;
    for (size_t i = 0; i < a.data.size(); ++i) {
        const bool same = absolute > 0.0f ? std::fabs(a.data[i] - b.data[i]) <= absolute : sameNumber(a.data[i], b.data[i]);
        if (!same) return false;
    }
    return true;
}

}  // namespace

bool sameWithinFilePrecision(const Camera& a, const Camera& b) {
    // Rotation entries lie in [-1, 1]: an absolute bound, about a second of arc, which no
    // orientation anyone asks for comes near.
    return sameNumber(a.f, b.f) && sameNumber(a.lens.k1, b.lens.k1) && sameNumber(a.lens.k2, b.lens.k2) &&
           sameMatrix(a.imageTransform, b.imageTransform, 0.0f) && sameMatrix(a.R, b.R, 4e-6f);
}

std::vector<Camera> keepUnmoved(std::vector<Camera> rendered, std::span<const Camera> before) {
    for (size_t i = 0; i < rendered.size() && i < before.size(); ++i)
        if (sameWithinFilePrecision(rendered[i], before[i])) rendered[i] = before[i];
    return rendered;
}

}  // namespace vantorra
