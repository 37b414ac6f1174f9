#pragma once
// The camera model shared by registration, adjustment and rendering.
// Image-plane positions are (x, y) = (row, column) measured from the centre of the feature image,
// x growing downwards and y to the right; the camera looks along +z, so (x, y) is the direction
// (x / f, y / f, 1). R takes world directions to camera coordinates.

#include <cmath>
#include <utility>

#include "numerics/lens_distortion.h"
#include "numerics/mat3.h"
#include "numerics/matrix.h"

namespace vantorra {

struct Camera {
    Camera() = default;
    Camera(Matrix rotation, float focal, Matrix transform, LensDistortion distortion = {})
        : R(std::move(rotation)), f(focal), imageTransform(std::move(transform)), lens(distortion) {}

    Matrix R;               // 3x3 world-to-camera rotation; empty until registered
    float f = 0.0f;         // focal length in pixels of the reduced feature image
    Matrix imageTransform;  // 3x3: centred feature-image position -> full-resolution pixel
    LensDistortion lens;    // how the lens bends ideal positions; photographs of one lens share it
};

// Whether the camera has been solved: a 3x3 rotation and pixel matrix and a finite, non-zero
// focal length. Cameras outside the panorama (and ones not registered yet) fail it.
bool isRegistered(const Camera& camera);

Mat3 focalMatrix(float f);  // diag(f, f, 1)
// S(a): maps a pixel of an image reduced 2^a times onto the unreduced pixel grid, pixel centres
// aligned; S(-a) goes the other way.
Matrix reductionMatrix(int a);
// Inverse of a pixel matrix (a scale and an offset per axis, as imageTransform and S(a) are),
// built from its entries rather than by a general inverse.
Mat3 invertPixelMatrix(const Mat3& t);
// P = T * K(f) * R: world direction to homogeneous (row, column) of the camera's source image.
Mat3 projectionMatrix(const Camera& camera);
// Where a world direction lands on the pixel grid of a camera's imageTransform (its source image,
// or one reduced from it when the transform is). Without distortion that is P; with it, the
// ideal centred position K R d is bent by the lens before the pixel matrix T places it.
struct PixelProjection {
    Mat3 P;        // T K R
    Mat3 KR;       // K R: world direction -> homogeneous ideal centred position
    Mat3 T;        // centred position -> pixel (a scale and an offset per axis)
    LensDistortion lens;
    float f = 0.0f;
    float maxRadius2 = INFINITY;  // squared fold radius: ideal positions beyond it are not seen
    bool bent() const { return !lens.none(); }
};
PixelProjection pixelProjection(const Camera& camera);

// (u, v) = (row, column) of direction d through a bent projection; not a number when d lies
// behind the camera or beyond the lens's fold.
inline void projectBent(const PixelProjection& p, const Vec3& d, float& u, float& v) {
    const float w = p.KR(2, 0) * d.x + p.KR(2, 1) * d.y + p.KR(2, 2) * d.z;
    float x = (p.KR(0, 0) * d.x + p.KR(0, 1) * d.y + p.KR(0, 2) * d.z) / w;
    float y = (p.KR(1, 0) * d.x + p.KR(1, 1) * d.y + p.KR(1, 2) * d.z) / w;
    const float r2 = (x * x + y * y) / (p.f * p.f);
    if (!(w > 0.0f) || !(r2 <= p.maxRadius2)) {
        u = v = NAN;
        return;
    }
    const float s = distortionFactor(p.lens, r2);
    x *= s;
    y *= s;
    u = p.T(0, 0) * x + p.T(0, 2);
    v = p.T(1, 1) * y + p.T(1, 2);
}

// The seen pixel (u, v) of the camera's grid as a unit world ray.
Vec3 rayOf(const Camera& camera, float u, float v);

Matrix rotationX(float a);
Matrix rotationY(float a);
Matrix rotationZ(float a);
Matrix skew(const Matrix& v);  // skew(v) * w = v x w
// Rotation by |v| about v; exactly the identity for the zero vector.
Matrix rotationFromVector(const Matrix& v);
// Rotation taking unit direction a onto unit direction b (not defined for parallel directions).
Matrix rotationBetween(const Matrix& a, const Matrix& b);
// Similarity [[a, b, tx], [-b, a, ty], [0, 0, 1]] taking p1 to q1 and p2 to q2; the identity when
// either pair of points is closer than minDistance.
Matrix similarityFromPairs(float x1, float y1, float X1, float Y1, float x2, float y2, float X2,
                           float Y2, float minDistance);
Matrix invertSimilarity(const Matrix& m);
// Unit 3-vector x that makes |M x| small for a 3x3 M (least squares with each coordinate fixed
// to 1 in turn; ties keep the earlier coordinate).
Matrix nullDirection(const Matrix& m);

}  // namespace vantorra
