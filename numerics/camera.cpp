#include "numerics/camera.h"

#include <cmath>
#include <limits>

#include "numerics/angles.h"
#include "numerics/mat3.h"

namespace vantorra {

bool isRegistered(const Camera& camera) {
    return camera.R.rows == 3 && camera.R.cols == 3 && camera.imageTransform.rows == 3 &&
           camera.imageTransform.cols == 3 && std::isfinite(camera.f) && camera.f != 0.0f;
}

Mat3 focalMatrix(float f) {
    Mat3 k = Mat3::identity();
    k(0, 0) = f;
    k(1, 1) = f;
    return k;
}

Matrix reductionMatrix(int a) {
    const float k = std::ldexp(1.0f, a);
    Matrix s(3, 3);
    s.at(0, 0) = k;
    s.at(1, 1) = k;
    s.at(0, 2) = (k - 1.0f) / 2.0f;
    s.at(1, 2) = (k - 1.0f) / 2.0f;
    s.at(2, 2) = 1.0f;
    return s;
}

Mat3 invertPixelMatrix(const Mat3& t) {
    Mat3 out = Mat3::identity();
    out(0, 0) = 1.0f / t(0, 0);
    out(0, 2) = -t(0, 2) / t(0, 0);
    out(1, 1) = 1.0f / t(1, 1);
    out(1, 2) = -t(1, 2) / t(1, 1);
    return out;
}

Mat3 projectionMatrix(const Camera& camera) {
    return Mat3::fromMatrix(camera.imageTransform) * focalMatrix(camera.f) * Mat3::fromMatrix(camera.R);
}

PixelProjection pixelProjection(const Camera& camera) {
    PixelProjection p;
    p.T = Mat3::fromMatrix(camera.imageTransform);
    p.KR = focalMatrix(camera.f) * Mat3::fromMatrix(camera.R);
    p.P = projectionMatrix(camera);
    p.lens = camera.lens;
    p.f = camera.f;
    const float fold = foldRadius(camera.lens);
    p.maxRadius2 = fold * fold;
    return p;
}

Vec3 rayOf(const Camera& camera, float u, float v) {
    const Mat3 toCentred = invertPixelMatrix(Mat3::fromMatrix(camera.imageTransform));
    float x = toCentred(0, 0) * u + toCentred(0, 2);
    float y = toCentred(1, 1) * v + toCentred(1, 2);
    undistortPosition(camera.lens, camera.f, x, y);
    const Vec3 p = transposed(Mat3::fromMatrix(camera.R)) * Vec3{x / camera.f, y / camera.f, 1.0f};
    const float n = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    return Vec3{p.x / n, p.y / n, p.z / n};
}

Matrix rotationX(float a) {
    const float c = std::cos(a), s = std::sin(a);
    const float v[9] = {1, 0, 0, 0, c, -s, 0, s, c};
    return Matrix::fromRowMajor(v, 3, 3);
}

Matrix rotationY(float a) {
    const float c = std::cos(a), s = std::sin(a);
    const float v[9] = {c, 0, s, 0, 1, 0, -s, 0, c};
    return Matrix::fromRowMajor(v, 3, 3);
}

Matrix rotationZ(float a) {
    const float c = std::cos(a), s = std::sin(a);
    const float v[9] = {c, -s, 0, s, c, 0, 0, 0, 1};
    return Matrix::fromRowMajor(v, 3, 3);
}

Matrix skew(const Matrix& v) {
    const float x = v.at(0), y = v.at(1), z = v.at(2);
    const float s[9] = {0, -z, y, z, 0, -x, -y, x, 0};
    return Matrix::fromRowMajor(s, 3, 3);
}

Matrix rotationFromVector(const Matrix& v) {
    const float theta = norm(v);
    Matrix r(3, 3);
    r.setIdentity();
    if (theta == 0.0f) return r;
    const Matrix n = skew(divide(v, theta));
    return add(add(r, scale(n, std::sin(theta))), scale(multiply(n, n), 1.0f - std::cos(theta)));
}

namespace {

// Any unit vector perpendicular to a: crossed with the coordinate axis least aligned with it.
Matrix perpendicularAxis(const Matrix& a) {
    const float ax = std::fabs(a.at(0)), ay = std::fabs(a.at(1)), az = std::fabs(a.at(2));
    Matrix e(3, 1);
    if (ax <= ay && ax <= az)
        e.at(0) = 1.0f;
    else if (ay <= az)
        e.at(1) = 1.0f;
    else
        e.at(2) = 1.0f;
    return normalise(cross(a, e));
}

}  // namespace

Matrix rotationBetween(const Matrix& a, const Matrix& b) {
    const Matrix axis = cross(a, b);
    const float s = norm(axis);
    const float t = dot(a, b);
    if (s == 0.0f) {
        // Parallel directions have no axis of their own: the same direction needs no turn, the
        // opposite one a half turn about any perpendicular axis.
        if (t > 0.0f) return rotationFromVector(Matrix(3, 1));
        return rotationFromVector(scale(perpendicularAxis(a), kPi));
    }
    // Rounding can push |a x b| of unit vectors just above 1, where asin has no value.
    const float sine = s < 1.0f ? s : 1.0f;
    const float angle = t > 0.0f ? std::asin(sine) : kPi - std::asin(sine);
    return rotationFromVector(scale(divide(axis, s), angle));
}

Matrix similarityFromPairs(float x1, float y1, float X1, float Y1, float x2, float y2, float X2,
                           float Y2, float minDistance) {
    Matrix out(3, 3);
    out.setIdentity();
    const float dx = x1 - x2, dy = y1 - y2, dX = X1 - X2, dY = Y1 - Y2;
    if (std::sqrt(dx * dx + dy * dy) < minDistance || std::sqrt(dX * dX + dY * dY) < minDistance)
        return out;
    const float av[4] = {dx, dy, dy, x2 - x1};
    Matrix a = Matrix::fromRowMajor(av, 2, 2);
    Matrix b(2, 1);
    b.at(0) = dX;
    b.at(1) = dY;
    const Matrix ab = solve(a, b);
    const float sa = ab.at(0), sb = ab.at(1);
    const float tx = X1 - sa * x1 - sb * y1;
    const float ty = Y1 + sb * x1 - sa * y1;
    const float v[9] = {sa, sb, tx, -sb, sa, ty, 0, 0, 1};
    return Matrix::fromRowMajor(v, 3, 3);
}

Matrix invertSimilarity(const Matrix& m) {
    const float a = m.at(0, 0), b = m.at(0, 1), tx = m.at(0, 2), ty = m.at(1, 2);
    const float s = a * a + b * b;
    const float v[9] = {a, -b, b * ty - a * tx, b, a, -b * tx - a * ty, 0, 0, s};
    return divide(Matrix::fromRowMajor(v, 3, 3), s);
}

namespace {

// Unit x with x_k = 1 before normalising and the other two coordinates the least-squares
// solution of B y = -m_k, B being the remaining columns of M in their order.
Matrix candidateWithFixed(const Matrix& m, int k) {
    const int o0 = k == 0 ? 1 : 0;
    const int o1 = k == 2 ? 1 : 2;
    Matrix b(3, 2);
    Matrix rhs(3, 1);
    for (int r = 0; r < 3; ++r) {
        b.at(r, 0) = m.at(r, o0);
        b.at(r, 1) = m.at(r, o1);
        rhs.at(r) = -m.at(r, k);
    }
    const Matrix bt = transpose(b);
    Matrix normal = multiply(bt, b);
    Matrix proj = multiply(bt, rhs);
    const Matrix y = solve(normal, proj);
    Matrix x(3, 1);
    x.at(k) = 1.0f;
    x.at(o0) = y.at(0);
    x.at(o1) = y.at(1);
    return normalise(x);
}

}  // namespace

Matrix nullDirection(const Matrix& m) {
    // A candidate whose least-squares system was singular (two parallel columns) holds no
    // numbers and must not win; if none is usable every direction is as good as any.
    Matrix best(3, 1);
    best.at(0) = 1.0f;
    float bestValue = std::numeric_limits<float>::infinity();
    for (int k = 0; k < 3; ++k) {
        const Matrix x = candidateWithFixed(m, k);
        const float value = norm(multiply(m, x));
        if (std::isfinite(value) && value < bestValue) {
            best = x;
            bestValue = value;
        }
    }
    return best;
}

}  // namespace vantorra
