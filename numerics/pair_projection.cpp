#include "numerics/pair_projection.h"

namespace vantorra {

namespace {

Mat3 diagonal(float a, float b, float c) {
    Mat3 d;
    d(0, 0) = a;
    d(1, 1) = b;
    d(2, 2) = c;
    return d;
}

}  // namespace

Mat3 rotationGenerator(int axis) {
    Vec3 e;
    if (axis == 0) e.x = 1.0f;
    if (axis == 1) e.y = 1.0f;
    if (axis == 2) e.z = 1.0f;
    return skew(e);
}

Mat3 pairHomography(const CameraState& ci, const CameraState& cj) {
    const Mat3 kjRj = diagonal(cj.f, cj.f, 1.0f) * cj.R;
    return kjRj * transposed(ci.R) * diagonal(1.0f / ci.f, 1.0f / ci.f, 1.0f);
}

PairProjection pairProjection(const CameraState& ci, const CameraState& cj) {
    const Mat3 kj = diagonal(cj.f, cj.f, 1.0f);
    const Mat3 kiInv = diagonal(1.0f / ci.f, 1.0f / ci.f, 1.0f);
    const Mat3 kjRj = kj * cj.R;
    const Mat3 riT = transposed(ci.R);
    const float dInv = -1.0f / (ci.f * ci.f);

    PairProjection out;
    out.h = kjRj * riT * kiInv;
    for (int a = 0; a < 3; ++a) {
        const Mat3 g = rotationGenerator(a);
        out.derivatives[a] = kjRj * transposed(g) * riT * kiInv;
        out.derivatives[4 + a] = kjRj * g * riT * kiInv;
    }
    out.derivatives[3] = kjRj * riT * diagonal(dInv, dInv, 0.0f);
    out.derivatives[7] = diagonal(1.0f, 1.0f, 0.0f) * cj.R * riT * kiInv;
    return out;
}

}  // namespace vantorra
