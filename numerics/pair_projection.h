#pragma once
// How one camera's image positions are carried into another's, and how that mapping moves with
// each camera's rotation increment and focal length. Positions are (x, y) = (row, column) from
// the image centre, in pixels of the feature image.

#include <array>
#include <cstdint>

#include "numerics/lens_distortion.h"
#include "numerics/mat3.h"

namespace vantorra {

// Rotation, focal length and lens of one camera during adjustment.
struct CameraState {
    CameraState() = default;
    CameraState(const Mat3& rotation, float focal, LensDistortion distortion = {}, int32_t slot = -1)
        : R(rotation), f(focal), lens(distortion), lensSlot(slot) {}

    Mat3 R = Mat3::identity();  // world to camera
    float f = 0.0f;
    LensDistortion lens;        // turns the camera's seen positions into ideal ones
    int32_t lensSlot = -1;      // the estimated lens it shares, or -1 when its lens stays fixed
};

// H = K(f_j) R_j R_i^T K(f_i)^-1, taking homogeneous positions of image i to image j.
Mat3 pairHomography(const CameraState& ci, const CameraState& cj);

// H and its derivatives with respect to the eight parameters of the pair, in the order
// (x, y, z rotation increment, focal length) of camera i, then of camera j; a rotation increment
// is applied on the right of R, about the camera's own axes.
struct PairProjection {
    Mat3 h;
    std::array<Mat3, 8> derivatives;
};
PairProjection pairProjection(const CameraState& ci, const CameraState& cj);

// The rotation generator G_a of axis a (0 x, 1 y, 2 z): skew of the unit axis.
Mat3 rotationGenerator(int axis);

}  // namespace vantorra
