#include "numerics/camera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "numerics/mat3.h"

namespace vantorra {
namespace {

constexpr float kPi = 3.14159265f;

Matrix vec(float x, float y, float z) {
    Matrix v(3, 1);
    v.at(0) = x;
    v.at(1) = y;
    v.at(2) = z;
    return v;
}

void expectVecNear(const Matrix& a, const Matrix& b, float tol, const char* what) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(a.at(i), b.at(i), tol) << what << " [" << i << "]";
}

void expectRotation(const Matrix& r, const char* what) {
    const Matrix rtr = multiply(transpose(r), r);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(rtr.at(i, j), i == j ? 1.0f : 0.0f, 1e-5f) << what;
}

TEST(CameraRotations, QuarterTurnsMoveAxesAsDocumented) {
    struct Case {
        const char* name;
        Matrix rotation;
        Matrix from;
        Matrix to;
    };
    const Case cases[] = {
        {"x", rotationX(kPi / 2), vec(0, 1, 0), vec(0, 0, 1)},
        {"y", rotationY(kPi / 2), vec(0, 0, 1), vec(1, 0, 0)},
        {"z", rotationZ(kPi / 2), vec(1, 0, 0), vec(0, 1, 0)},
        {"vector z", rotationFromVector(vec(0, 0, kPi / 2)), vec(1, 0, 0), vec(0, 1, 0)},
        {"vector x", rotationFromVector(vec(kPi / 2, 0, 0)), vec(0, 1, 0), vec(0, 0, 1)},
        {"vector y", rotationFromVector(vec(0, kPi / 2, 0)), vec(0, 0, 1), vec(1, 0, 0)},
    };
    for (const Case& c : cases) {
        expectRotation(c.rotation, c.name);
        expectVecNear(multiply(c.rotation, c.from), c.to, 1e-6f, c.name);
    }
}

TEST(CameraRotations, ZeroVectorGivesExactIdentity) {
    const Matrix r = rotationFromVector(vec(0, 0, 0));
    ASSERT_EQ(r.rows, 3);
    ASSERT_EQ(r.cols, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(r.at(i, j), i == j ? 1.0f : 0.0f);
}

TEST(CameraRotations, SkewIsCrossProduct) {
    const Matrix v = vec(1, -2, 3), w = vec(0.5f, 4, -1);
    expectVecNear(multiply(skew(v), w), cross(v, w), 1e-6f, "skew");
}

TEST(CameraRotations, Mat3HelpersMatchMatrixArithmetic) {
    const Matrix v = vec(0.3f, -0.2f, 0.7f);
    const Matrix r = rotationFromVector(v);
    const Mat3 r3 = rotationFromVector(toVec3(v));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(r3(i, j), r.at(i, j)) << i << "," << j;
    const Mat3 s3 = skew(toVec3(v));
    const Matrix s = skew(v);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(s3(i, j), s.at(i, j));
    EXPECT_EQ(norm(toVec3(v)), norm(v));
}

TEST(CameraRotations, RotationBetweenTakesOneDirectionOntoTheOther) {
    struct Case {
        const char* name;
        Matrix a, b;
        float angle;
    };
    const float s = std::sqrt(0.5f);
    const Case cases[] = {
        {"quarter about z", vec(1, 0, 0), vec(0, 1, 0), kPi / 2},
        {"acute", vec(1, 0, 0), vec(s, s, 0), kPi / 4},
        {"obtuse uses pi - asin", vec(1, 0, 0), vec(-s, s, 0), 3 * kPi / 4},
        {"nearly opposite", vec(0, 0, 1), normalise(vec(0.01f, 0, -1)), kPi - 0.01f},
        {"same direction", vec(0, 1, 0), vec(0, 1, 0), 0},
        {"opposite direction", vec(0, 1, 0), vec(0, -1, 0), kPi},
    };
    for (const Case& c : cases) {
        const Matrix r = rotationBetween(c.a, c.b);
        expectRotation(r, c.name);
        expectVecNear(multiply(r, c.a), c.b, 2e-4f, c.name);
        const float trace = r.at(0, 0) + r.at(1, 1) + r.at(2, 2);
        EXPECT_NEAR(std::acos(std::fmax(-1.0f, std::fmin(1.0f, (trace - 1) / 2))), c.angle, 2e-3f)
            << c.name;
    }
    // The quarter turn is about +z: +z is fixed.
    expectVecNear(multiply(rotationBetween(vec(1, 0, 0), vec(0, 1, 0)), vec(0, 0, 1)), vec(0, 0, 1),
                  1e-6f, "axis");
}

TEST(CameraSimilarity, FitsTwoPairsAndInverts) {
    // q = scale 2, rotation and shift applied to p.
    const float a = 1.2f, b = -1.6f, tx = 5.0f, ty = -3.0f;
    auto map = [&](float x, float y, float& X, float& Y) {
        X = a * x + b * y + tx;
        Y = -b * x + a * y + ty;
    };
    float X1, Y1, X2, Y2;
    map(10, 20, X1, Y1);
    map(-30, 5, X2, Y2);
    const Matrix m = similarityFromPairs(10, 20, X1, Y1, -30, 5, X2, Y2, 1.0f);
    EXPECT_NEAR(m.at(0, 0), a, 1e-5f);
    EXPECT_NEAR(m.at(0, 1), b, 1e-5f);
    EXPECT_NEAR(m.at(0, 2), tx, 1e-4f);
    EXPECT_NEAR(m.at(1, 0), -b, 1e-5f);
    EXPECT_NEAR(m.at(1, 1), a, 1e-5f);
    EXPECT_NEAR(m.at(1, 2), ty, 1e-4f);
    EXPECT_EQ(m.at(2, 2), 1.0f);

    const Matrix composed = multiply(invertSimilarity(m), m);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(composed.at(i, j), i == j ? 1.0f : 0.0f, 1e-5f);
}

TEST(CameraSimilarity, IdentityWhenEitherPairIsTooClose) {
    struct Case {
        float x1, y1, X1, Y1, x2, y2, X2, Y2;
    };
    const Case cases[] = {
        {0, 0, 10, 10, 0.5f, 0.5f, 50, 50},  // source points 0.71 apart
        {0, 0, 10, 10, 40, 40, 10.5f, 10},   // target points 0.5 apart
    };
    for (const Case& c : cases) {
        const Matrix m = similarityFromPairs(c.x1, c.y1, c.X1, c.Y1, c.x2, c.y2, c.X2, c.Y2, 1.0f);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) EXPECT_EQ(m.at(i, j), i == j ? 1.0f : 0.0f);
    }
}

TEST(CameraNullDirection, FindsKernelOfRankTwoMatrix) {
    // Columns chosen so that M * (1, -2, 1) = 0; the kernel has a non-zero first coordinate.
    const float v[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Matrix m = Matrix::fromRowMajor(v, 3, 3);
    const Matrix x = nullDirection(m);
    EXPECT_NEAR(norm(x), 1.0f, 1e-6f);
    EXPECT_LT(norm(multiply(m, x)), 1e-4f);
    const float k = 1.0f / std::sqrt(6.0f);
    const float sign = x.at(0) > 0 ? 1.0f : -1.0f;
    expectVecNear(scale(x, sign), vec(k, -2 * k, k), 1e-4f, "kernel");
}

TEST(CameraNullDirection, KernelAlongLaterAxisAndDegenerateInput) {
    // Kernel (0, 0, 1): fixing the first coordinate cannot reach it, fixing the third can.
    const float v[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0};
    const Matrix x = nullDirection(Matrix::fromRowMajor(v, 3, 3));
    expectVecNear(x, vec(0, 0, 1), 1e-6f, "third axis");

    // A zero matrix has no preferred direction, but the answer must still be a unit vector.
    const Matrix z = nullDirection(Matrix(3, 3));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(z.at(i)));
    EXPECT_NEAR(norm(z), 1.0f, 1e-6f);
}

TEST(CameraProjection, DirectionToImagePlane) {
    Matrix r(3, 3);
    r.setIdentity();
    const Matrix p = multiply(multiply(focalMatrix(500.0f).toMatrix(), r), vec(0, 0.1f, 1));
    const Matrix pos = dehomogenise(p);
    EXPECT_FLOAT_EQ(pos.at(0), 0.0f);
    EXPECT_FLOAT_EQ(pos.at(1), 50.0f);

    const Matrix k = focalMatrix(3.0f).toMatrix();
    EXPECT_EQ(k.at(0, 0), 3.0f);
    EXPECT_EQ(k.at(1, 1), 3.0f);
    EXPECT_EQ(k.at(2, 2), 1.0f);
    EXPECT_EQ(k.at(0, 1), 0.0f);
}

}  // namespace
}  // namespace vantorra
