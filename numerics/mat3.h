#pragma once
// Fixed-size 3x3 and 3-vector helpers for hot loops (warping, bundle adjustment). They do the
// same single-precision arithmetic as Matrix (products accumulated in order of k) without any
// heap allocation. Storage is row-major: m[3 * r + c].

#include <array>
#include <cmath>

#include "numerics/matrix.h"

namespace vantorra {

struct Vec3 {
    float x = 0, y = 0, z = 0;
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

struct Mat3 {
    std::array<float, 9> m{};
    float& operator()(int r, int c) { return m[3 * r + c]; }
    float operator()(int r, int c) const { return m[3 * r + c]; }

    static Mat3 identity() {
        Mat3 a;
        a(0, 0) = a(1, 1) = a(2, 2) = 1.0f;
        return a;
    }
    static Mat3 fromMatrix(const Matrix& src) {  // src must be 3x3
        Mat3 a;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) a(r, c) = src.at(r, c);
        return a;
    }
    Matrix toMatrix() const {
        Matrix out(3, 3);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) out.at(r, c) = (*this)(r, c);
        return out;
    }
};

inline Mat3 operator*(const Mat3& a, const Mat3& b) {
    Mat3 out;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            float s = 0.0f;
            for (int k = 0; k < 3; ++k) s += a(r, k) * b(k, c);
            out(r, c) = s;
        }
    return out;
}

inline Vec3 operator*(const Mat3& a, const Vec3& v) {
    Vec3 out;
    out.x = 0.0f + a(0, 0) * v.x + a(0, 1) * v.y + a(0, 2) * v.z;
    out.y = 0.0f + a(1, 0) * v.x + a(1, 1) * v.y + a(1, 2) * v.z;
    out.z = 0.0f + a(2, 0) * v.x + a(2, 1) * v.y + a(2, 2) * v.z;
    return out;
}

inline Mat3 transposed(const Mat3& a) {
    Mat3 out;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out(r, c) = a(c, r);
    return out;
}

inline Mat3 operator+(const Mat3& a, const Mat3& b) {
    Mat3 out;
    for (int i = 0; i < 9; ++i) out.m[i] = a.m[i] + b.m[i];
    return out;
}

inline Mat3 operator*(float x, const Mat3& a) {
    Mat3 out;
    for (int i = 0; i < 9; ++i) out.m[i] = x * a.m[i];
    return out;
}

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(float s, const Vec3& v) { return {s * v.x, s * v.y, s * v.z}; }
inline Vec3 operator/(const Vec3& v, float s) { return {v.x / s, v.y / s, v.z / s}; }

// Accumulated from zero in index order, like dot() and norm() on a Matrix column.
inline float dot(const Vec3& a, const Vec3& b) { return 0.0f + a.x * b.x + a.y * b.y + a.z * b.z; }
inline float norm(const Vec3& v) { return std::sqrt(dot(v, v)); }
inline Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline Vec3 toVec3(const Matrix& v) { return {v.at(0), v.at(1), v.at(2)}; }  // stored index 0..2
inline Matrix toMatrix(const Vec3& v) {
    Matrix out(3, 1);
    out.at(0) = v.x;
    out.at(1) = v.y;
    out.at(2) = v.z;
    return out;
}

// skew(v) * w = v x w.
inline Mat3 skew(const Vec3& v) {
    Mat3 a;
    a(0, 1) = -v.z;
    a(0, 2) = v.y;
    a(1, 0) = v.z;
    a(1, 2) = -v.x;
    a(2, 0) = -v.y;
    a(2, 1) = v.x;
    return a;
}

// Rotation by |v| about v, I + sin(t) N + (1 - cos(t)) N N summed in that order; exactly the
// identity for the zero vector. Same arithmetic as the Matrix version in numerics/camera.h.
inline Mat3 rotationFromVector(const Vec3& v) {
    const float theta = norm(v);
    if (theta == 0.0f) return Mat3::identity();
    const Mat3 n = skew(v / theta);
    return Mat3::identity() + std::sin(theta) * n + (1.0f - std::cos(theta)) * (n * n);
}

}  // namespace vantorra
