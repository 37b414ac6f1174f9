// Verification under the solved cameras: a camera from two rays, the rule counting features
// rather than raw matches, an image that no verified pair held placed from its raw matches (and
// an unrelated one left out), and a rejected pair between registered images taken back.

#include "adjust/camera_verification.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "synthetic_scene.h"

namespace vantorra {
namespace {

using synthetic::makeScene;
using synthetic::SceneShape;

Vec3 unitVector(const Vec3& v) { return v / norm(v); }

float angleBetween(const Mat3& a, const Mat3& b) {
    const Mat3 d = a * transposed(b);
    return std::acos(std::clamp(0.5f * (d(0, 0) + d(1, 1) + d(2, 2) - 1.0f), -1.0f, 1.0f));
}

TEST(CameraVerificationTest, TwoRaysGiveTheRotationBackUnlessParallel) {
    struct Case {
        Vec3 turn, a1, a2;
        bool solvable;
    };
    const Case cases[] = {
        {{0.1f, -0.3f, 0.2f}, {0.0f, 0.0f, 1.0f}, {0.3f, 0.1f, 1.0f}, true},
        {{1.5f, 0.2f, -0.7f}, {0.2f, -0.4f, 1.0f}, {-0.5f, 0.6f, 0.8f}, true},
        {{0.0f, 0.0f, 0.0f}, {0.1f, 0.1f, 1.0f}, {0.9f, -0.2f, 0.1f}, true},
        {{0.4f, 0.4f, 0.4f}, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 2.0f}, false},  // one direction twice
    };
    for (const Case& c : cases) {
        const Mat3 truth = rotationFromVector(c.turn);
        const Vec3 a1 = unitVector(c.a1), a2 = unitVector(c.a2);
        Mat3 r;
        ASSERT_EQ(rotationFromTwoRays(a1, a2, truth * a1, truth * a2, r), c.solvable);
        if (c.solvable) {
            EXPECT_LT(angleBetween(r, truth), 1e-3f);
        }
    }
}

// Exact matches of pair (0, 1) of a two-camera scene, each feature matched a second time to a
// point far from its partner (a second neighbour in the same image).
MatchPoints withSecondNeighbours(const MatchPoints& exact, int32_t count) {
    MatchPoints raw{Matrix(2, 2 * count), Matrix(2, 2 * count)};
    for (int32_t k = 0; k < count; ++k)
        for (int r = 0; r < 2; ++r) {
            raw.first.at(r, 2 * k) = raw.first.at(r, 2 * k + 1) = exact.first.at(r, k);
            raw.second.at(r, 2 * k) = exact.second.at(r, k);
            raw.second.at(r, 2 * k + 1) = exact.second.at(r, k) + (r == 0 ? 40.0f : -35.0f);
        }
    return raw;
}

Camera cameraOf(const CameraState& s) {
    Camera c;
    c.R = s.R.toMatrix();
    c.f = s.f;
    c.imageTransform = focalMatrix(1.0f).toMatrix();
    return c;
}

TEST(CameraVerificationTest, TheRuleCountsFeaturesNotTheirSeveralNeighbours) {
    SceneShape shape;
    shape.cameras = 2;
    shape.matchesPerPair = 60;
    const auto scene = makeScene(shape);
    const int32_t count = scene.matches.count(0, 1);
    const MatchPoints raw = withSecondNeighbours(scene.matches.points(0, 1), count);
    const ImageSize size{401, 601, 1};
    std::vector<int32_t> inliers;
    const CameraCheck check = checkUnderCameras(raw, 2 * count, 0, 1, cameraOf(scene.truth[0]),
                                                cameraOf(scene.truth[1]), size, size, RansacOptions{}, inliers);
    EXPECT_EQ(check.raw, 2 * count);
    EXPECT_EQ(check.inliers, count);  // every feature once: its true partner agrees
    EXPECT_EQ(check.overlap, count);  // and lies inside: counted once however many neighbours it has
    EXPECT_TRUE(check.accepted());
    ASSERT_EQ(static_cast<int32_t>(inliers.size()), count);
    for (int32_t k = 0; k < count; ++k) EXPECT_EQ(inliers[static_cast<size_t>(k)], 2 * k);
}

// A four-camera scene whose verified pairs leave image 3 (and, with `unrelated`, its matches
// scrambled) to the raw matches of its pairs with 1 and 2.
struct Held {
    MatchTable matches, unaccepted;
    std::vector<Camera> cameras;
    std::vector<CameraState> truth;
};

Held leaveOutImage3(bool unrelated) {
    SceneShape shape;
    shape.matchesPerPair = 80;
    shape.panStep = 0.3f;
    auto scene = makeScene(shape);
    Held h{MatchTable(4), MatchTable(4), {}, scene.truth};
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> anywhere(-190.0f, 190.0f);
    for (int i = 0; i < 4; ++i) {
        Camera unplaced;
        unplaced.imageTransform = focalMatrix(1.0f).toMatrix();
        h.cameras.push_back(i < 3 ? cameraOf(scene.truth[static_cast<size_t>(i)]) : unplaced);
        for (int j = 0; j < 4; ++j) {
            if (i == j || scene.matches.count(i, j) <= 0) continue;
            MatchTable& to = (i == 3 || j == 3) ? h.unaccepted : h.matches;
            to.place(i, j) = scene.matches.points(i, j);
            to.count(i, j) = scene.matches.count(i, j);
            if (unrelated && &to == &h.unaccepted)
                for (float& v : to.points(i, j).second.data) v = anywhere(rng);
        }
    }
    return h;
}

TEST(CameraVerificationTest, AnImageNoVerifiedPairHeldIsPlacedByItsRawMatches) {
    Held h = leaveOutImage3(false);
    const std::vector<ImageSize> sizes(4, ImageSize{401, 601, 1});
    const CameraVerification v = verifyUnderCameras(h.matches, h.unaccepted, h.cameras, {0, 1, 2}, sizes, RansacOptions{});
    ASSERT_EQ(v.placed, std::vector<int32_t>{3});
    EXPECT_EQ(v.component, (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_TRUE(v.changed());
    ASSERT_TRUE(isRegistered(h.cameras[3]));
    // Seeded with its partner's focal length, the ray fit is already within a fraction of a degree.
    EXPECT_LT(angleBetween(Mat3::fromMatrix(h.cameras[3].R), h.truth[3].R), 0.01f);
    EXPECT_GT(h.matches.count(3, 2), 0);
    EXPECT_GT(h.matches.count(2, 3), 0);
    EXPECT_EQ(h.unaccepted.size(), 0);  // released
}

TEST(CameraVerificationTest, AnUnrelatedImageStaysOutWithItsClosestPairNamed) {
    Held h = leaveOutImage3(true);
    const std::vector<ImageSize> sizes(4, ImageSize{401, 601, 1});
    const CameraVerification v = verifyUnderCameras(h.matches, h.unaccepted, h.cameras, {0, 1, 2}, sizes, RansacOptions{});
    EXPECT_TRUE(v.placed.empty());
    EXPECT_EQ(v.component, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_FALSE(v.changed());
    EXPECT_FALSE(isRegistered(h.cameras[3]));
    ASSERT_EQ(v.unplaced.size(), 1u);
    EXPECT_EQ(v.unplaced[0].image, 3);
    EXPECT_FALSE(v.unplaced[0].closest.accepted());
    EXPECT_TRUE(v.unplaced[0].closest.first == 3 || v.unplaced[0].closest.second == 3);
}

TEST(CameraVerificationTest, ARejectedPairOfRegisteredImagesIsTakenBackUnlessItsReverseHoldsIt) {
    struct Case {
        bool reverseHeld;
        bool taken;
    };
    for (const Case c : {Case{false, true}, Case{true, false}}) {
        SceneShape shape;
        shape.cameras = 3;
        auto scene = makeScene(shape);
        MatchTable matches(3), unaccepted(3);
        for (const auto& [i, j] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{1, 2}, std::pair{2, 1}, std::pair{0, 2},
                                   std::pair{2, 0}}) {
            const bool rejected = (i == 1 && j == 2) || (!c.reverseHeld && i == 2 && j == 1);
            MatchTable& to = rejected ? unaccepted : matches;
            to.place(i, j) = scene.matches.points(i, j);
            to.count(i, j) = scene.matches.count(i, j);
        }
        std::vector<Camera> cameras;
        for (const CameraState& s : scene.truth) cameras.push_back(cameraOf(s));
        const std::vector<ImageSize> sizes(3, ImageSize{401, 601, 1});
        const CameraVerification v = verifyUnderCameras(matches, unaccepted, cameras, {0, 1, 2}, sizes, RansacOptions{});
        EXPECT_EQ(matches.count(1, 2) == scene.matches.count(1, 2), c.taken) << c.reverseHeld;
        EXPECT_EQ(v.changed(), c.taken);
    }
}

}  // namespace
}  // namespace vantorra
