#include "pipeline/panorama_orientation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace vantorra {
namespace {

constexpr float kTolerance = 2e-4f;

Matrix identity3() {
    Matrix m(3, 3);
    m.setIdentity();
    return m;
}

void expectMatrixNear(const Matrix& actual, const Matrix& expected, const std::string& what) {
    ASSERT_EQ(actual.rows, expected.rows) << what;
    ASSERT_EQ(actual.cols, expected.cols) << what;
    for (int r = 0; r < actual.rows; ++r)
        for (int c = 0; c < actual.cols; ++c)
            EXPECT_NEAR(actual.at(r, c), expected.at(r, c), kTolerance) << what << " (" << r << ", " << c << ")";
}

Matrix firstColumn(const Matrix& r) { return r.subMatrix(0, 2, 0, 0); }

// An arbitrary world frame the adjustment might have settled in.
Matrix worldTurn() { return multiply(multiply(rotationZ(0.7f), rotationY(-0.4f)), rotationX(1.1f)); }

// A camera held level (its horizontal image axis perpendicular to the first world axis, which
// points down) looking at longitude `theta` and latitude `pitch`, rolled by `roll` about its
// viewing axis.
Matrix heldCamera(float theta, float pitch, float roll = 0.0f) {
    return multiply(multiply(rotationZ(roll), rotationY(pitch)), rotationX(theta));
}

struct Panorama {
    std::vector<Camera> cameras;
    std::vector<Matrix> held;  // rotations before the unknown world turn
    std::vector<int32_t> component;
};

// Camera 0 is outside the panorama and must never change; 1..n form it.
Panorama makePanorama(const std::vector<Matrix>& held) {
    Panorama p;
    p.cameras.resize(held.size() + 1);
    p.cameras[0].R = rotationY(0.3f);
    p.held.push_back(Matrix());
    for (size_t i = 0; i < held.size(); ++i) {
        p.cameras[i + 1].R = multiply(held[i], worldTurn());
        p.cameras[i + 1].f = 500.0f;
        p.cameras[i + 1].imageTransform = identity3();
        p.held.push_back(held[i]);
        p.component.push_back(static_cast<int32_t>(i + 1));
    }
    return p;
}

std::vector<Matrix> levelRow(float roll = 0.0f) {
    return {heldCamera(-0.6f, 0.1f, roll), heldCamera(-0.1f, -0.05f, roll), heldCamera(0.45f, 0.2f, roll),
            heldCamera(0.9f, -0.15f, roll)};
}

// All cameras of the component changed by one common post-multiplication, and camera 0 not at all.
void expectCommonPostTurn(const Panorama& before, const Panorama& after, const std::string& what) {
    expectMatrixNear(after.cameras[0].R, before.cameras[0].R, what + " outside camera");
    const Matrix common = multiply(transpose(before.cameras[1].R), after.cameras[1].R);
    for (size_t i = 2; i < before.cameras.size(); ++i)
        expectMatrixNear(multiply(transpose(before.cameras[i].R), after.cameras[i].R), common, what + " camera " + std::to_string(i));
}

TEST(Orientation, LevelToReferenceMakesReferenceIdentityOrImageRotation) {
    for (int32_t rotation = 0; rotation <= 3; ++rotation) {
        const Panorama before = makePanorama(levelRow());
        Panorama after = before;
        RenderOptions options;
        options.autoStraighten = false;
        options.imageRotation = *modeFrom<ImageRotation>(rotation);
        after.cameras = levelToReference(after.cameras, after.component, options);
        const Matrix expected = rotation == 0 ? identity3() : rotationZ(imageRotationAngle(*modeFrom<ImageRotation>(rotation)));
        expectMatrixNear(after.cameras[1].R, expected, "reference, rotation " + std::to_string(rotation));
        expectCommonPostTurn(before, after, "rotation " + std::to_string(rotation));
    }
}

TEST(Orientation, ImageRotationAngles) {
    EXPECT_EQ(imageRotationAngle(ImageRotation::None), 0.0f);
    EXPECT_EQ(imageRotationAngle(ImageRotation::Clockwise), -1.5707964f);
    EXPECT_EQ(imageRotationAngle(ImageRotation::Anticlockwise), 1.5707964f);
    EXPECT_EQ(imageRotationAngle(ImageRotation::UpsideDown), 3.1415927f);
}

TEST(Orientation, StraightenFindsDownAndCentresReference) {
    // Cameras rolled by the image-rotation angle are level once that rotation is undone; the
    // found downward direction must be the true one in every case.
    for (int32_t rotation = 0; rotation <= 3; ++rotation) {
        const std::string what = "rotation " + std::to_string(rotation);
        const Panorama before = makePanorama(levelRow(imageRotationAngle(*modeFrom<ImageRotation>(rotation))));
        Panorama after = before;
        RenderOptions options;
        options.imageRotation = *modeFrom<ImageRotation>(rotation);
        after.cameras = straighten(after.cameras, after.component, options);

        // The pre-turn is undone: only a common post-multiplication remains.
        expectCommonPostTurn(before, after, what);
        // The true downward direction is now the first world axis.
        for (size_t i = 1; i < after.cameras.size(); ++i) {
            expectMatrixNear(firstColumn(after.cameras[i].R), firstColumn(before.held[i]), what + " down, camera " + std::to_string(i));
        }
        // The reference image looks along a direction with no second component.
        const Matrix& reference = after.cameras[1].R;
        EXPECT_NEAR(reference.at(2, 1), 0.0f, kTolerance) << what;
        EXPECT_GT(reference.at(2, 2), 0.0f) << what;
    }
}

TEST(Orientation, StraightenIsAbsolute) {
    Panorama once = makePanorama(levelRow());
    RenderOptions options;
    once.cameras = straighten(once.cameras, once.component, options);
    Panorama twice = once;
    twice.cameras = straighten(twice.cameras, twice.component, options);
    for (size_t i = 0; i < once.cameras.size(); ++i)
        expectMatrixNear(twice.cameras[i].R, once.cameras[i].R, "camera " + std::to_string(i));
}

// The sum of outer products of every listed camera's row 1, as the down search forms it.
Matrix rowOneScatter(const Panorama& p) {
    Matrix m(3, 3);
    for (const int32_t i : p.component) {
        const Matrix r1 = p.cameras[static_cast<size_t>(i)].R.row(1);
        m = add(m, multiply(transpose(r1), r1));
    }
    return m;
}

TEST(Orientation, StraightenFlipsUnlessStrictMajorityAgrees) {
    // Rolled by pi, a camera's row axis points up: it disagrees with the others about "down".
    const float pi = 3.1415927f;
    struct Case {
        std::vector<Matrix> held;
        bool tie;  // exactly half agree with the minimiser's u: the result must use -u
    };
    const Case cases[] = {
        {{heldCamera(-0.3f, 0.1f), heldCamera(0.4f, 0.0f, pi)}, true},
        {{heldCamera(-0.3f, 0.1f, pi), heldCamera(0.4f, 0.0f)}, true},
        {{heldCamera(-0.5f, 0.1f), heldCamera(0.0f, -0.1f, pi), heldCamera(0.5f, 0.0f, pi), heldCamera(1.0f, 0.2f)}, true},
        {{heldCamera(-0.3f, 0.1f), heldCamera(0.2f, 0.0f, pi), heldCamera(0.6f, 0.1f)}, false},
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        const std::string what = "case " + std::to_string(k);
        const Panorama before = makePanorama(cases[k].held);
        Panorama after = before;
        after.cameras = straighten(after.cameras, after.component, RenderOptions());
        if (cases[k].tie) {
            const Matrix u = nullDirection(rowOneScatter(before));
            int agreeing = 0;
            for (const int32_t i : before.component) {
                agreeing += dot(transpose(before.cameras[static_cast<size_t>(i)].R.row(0)), u) > 0.0f ? 1 : 0;
            }
            ASSERT_EQ(agreeing * 2, static_cast<int>(before.component.size())) << what;
            for (const int32_t i : before.component) {
                const Matrix& r = before.cameras[static_cast<size_t>(i)].R;
                expectMatrixNear(firstColumn(after.cameras[static_cast<size_t>(i)].R), multiply(r, negate(u)), what);
            }
        } else {
            // The majority is upright, so "down" is the true one whatever sign the minimiser gave.
            for (size_t i = 1; i < after.cameras.size(); ++i) {
                expectMatrixNear(firstColumn(after.cameras[i].R), firstColumn(before.held[i]), what);
            }
        }
    }
}

TEST(Orientation, StraightenSingleOrAlignedCameraStaysFinite) {
    for (const Matrix& start : {identity3(), rotationX(0.8f), rotationZ(3.1415927f)}) {
        std::vector<Camera> cameras(1);
        cameras[0] = Camera{start, 500.0f, identity3()};
        cameras = straighten(cameras, {0}, RenderOptions());
        for (const float x : cameras[0].R.data) EXPECT_TRUE(std::isfinite(x));
        expectMatrixNear(multiply(cameras[0].R, transpose(cameras[0].R)), identity3(), "orthonormal");
        EXPECT_NEAR(cameras[0].R.at(2, 1), 0.0f, kTolerance);
    }
}

TEST(Orientation, ManualAnglesApplyOnlyNonZeroTurnsInOrder) {
    struct Case {
        float theta, phi, psi;
    };
    const Case cases[] = {{0.3f, 0.0f, 0.0f}, {0.0f, -0.2f, 0.0f}, {0.0f, 0.0f, 0.4f}, {0.3f, -0.2f, 0.4f}, {0.0f, 0.0f, 0.0f}};
    for (const Case& c : cases) {
        const Panorama before = makePanorama(levelRow());
        Panorama after = before;
        RenderOptions options;
        options.orientTheta = c.theta;
        options.orientPhi = c.phi;
        options.orientPsi = c.psi;
        after.cameras = applyManualAngles(after.cameras, after.component, options);
        const Matrix turn = multiply(multiply(rotationX(c.theta), rotationY(c.phi)), rotationZ(c.psi));
        for (size_t i = 1; i < before.cameras.size(); ++i) {
            expectMatrixNear(after.cameras[i].R, multiply(before.cameras[i].R, turn), "camera " + std::to_string(i));
        }
        EXPECT_EQ(after.cameras[0].R.data, before.cameras[0].R.data);
        if (c.phi == 0.0f && c.psi == 0.0f && c.theta != 0.0f) {
            EXPECT_EQ(after.cameras[1].R.data, multiply(before.cameras[1].R, rotationX(c.theta)).data);
        }
        if (c.theta == 0.0f && c.phi == 0.0f && c.psi == 0.0f) {
            EXPECT_EQ(after.cameras[1].R.data, before.cameras[1].R.data);
        }
    }
}

TEST(Orientation, UnregisteredAndRepeatedEntriesAreSafe) {
    std::vector<Camera> cameras(3);
    cameras[0] = Camera{rotationY(0.2f), 500.0f, identity3()};
    // camera 1 has no rotation yet; 7 is not an image number
    cameras[2] = Camera{rotationX(0.5f), 500.0f, identity3()};
    RenderOptions options;
    options.orientTheta = 0.25f;
    cameras = applyManualAngles(cameras, {0, 1, 2, 2, 7}, options);
    EXPECT_TRUE(cameras[1].R.empty());
    expectMatrixNear(cameras[2].R, multiply(rotationX(0.5f), rotationX(0.25f)), "repeated entry turned once");
    cameras = levelToReference(cameras, {1, 2}, options);  // camera 1 unregistered: camera 2 is the reference
    expectMatrixNear(cameras[2].R, identity3(), "reference");
}

}  // namespace
}  // namespace vantorra
