#pragma once
// Fixed-size 3x3 and 3-vector helpers for hot loops (warping, bundle adjustment). They do the
// same single-precision arithmetic as Matrix (products accumulated in order of k) without any
// heap allocation. Storage is row-major: m[3 * r + c].

#include <array>

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

}  // namespace vantorra
