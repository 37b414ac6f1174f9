// Re-selection of matches under solved cameras: a shifted cluster inside a pair is dropped while
// the genuine matches stay, and a chain whose weakest pair loses its support keeps the image that
// hangs on it while enough of that pair's matches agree, and leaves it out when too few do.

#include "adjust/match_reselection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <random>
#include <sstream>

#include "adjust/registration_refinement.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

using synthetic::makeScene;
using synthetic::SceneShape;

std::vector<Camera> camerasOf(const std::vector<CameraState>& states) {
    std::vector<Camera> cameras;
    for (const CameraState& s : states) {
        Camera c;
        c.R = s.R.toMatrix();
        c.f = s.f;
        c.imageTransform = focalMatrix(1.0f).toMatrix();
        cameras.push_back(c);
    }
    return cameras;
}

// Moves the second position of the first `count` matches of (i, j) by (dr, dc).
void shiftMatches(MatchTable& matches, int i, int j, int count, float dr, float dc) {
    MatchPoints& p = matches.points(i, j);
    for (int k = 0; k < count; ++k) {
        p.second.at(0, k) += dr;
        p.second.at(1, k) += dc;
    }
}

// Keeps only the first `count` matches of (i, j).
void truncatePair(MatchTable& matches, int i, int j, int count) { matches.count(i, j) = count; }

void clearPair(MatchTable& matches, int i, int j) { matches.clear(i, j); }

// The kept columns of (i, j) that still carry one of the first `shifted` original columns,
// recognised by their first position.
int keptShifted(const MatchTable& after, const MatchTable& before, int i, int j, int shifted) {
    int found = 0;
    for (int k = 0; k < after.count(i, j); ++k)
        for (int s = 0; s < shifted; ++s)
            if (after.points(i, j).first.at(0, k) == before.points(i, j).first.at(0, s) &&
                after.points(i, j).first.at(1, k) == before.points(i, j).first.at(1, s))
                ++found;
    return found;
}

TEST(MatchReselectionTest, AShiftedClusterIsDroppedAndTheGenuineMatchesStay) {
    const struct {
        float shiftRows, shiftCols;  // pixels
        int clusterPercent;
    } cases[] = {{3.0f, 2.0f, 20}, {-2.5f, 2.5f, 40}, {0.0f, 6.0f, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.shiftRows << ", " << c.shiftCols << " on "
                                        << c.clusterPercent << " %");
        SceneShape shape;
        shape.cameras = 3;
        synthetic::SyntheticScene scene = makeScene(shape);
        const int count = scene.matches.count(0, 1);
        const int cluster = count * c.clusterPercent / 100;
        shiftMatches(scene.matches, 0, 1, cluster, c.shiftRows, c.shiftCols);
        const MatchTable before = scene.matches;

        const Reselection r = reselectMatches(scene.matches, pairCounts(before),
                                              camerasOf(scene.truth), {0, 1, 2}, RansacOptions{});
        EXPECT_EQ(keptShifted(scene.matches, before, 0, 1, cluster), 0);
        // Three deviations keep about 99 % of genuine Gaussian errors.
        EXPECT_GE(scene.matches.count(0, 1), (count - cluster) * 95 / 100);
        EXPECT_GE(scene.matches.count(1, 2), before.count(1, 2) * 95 / 100);
        EXPECT_EQ(r.component, (std::vector<int32_t>{0, 1, 2}));
        EXPECT_TRUE(r.leftOut.empty());
    }
}

TEST(MatchReselectionTest, PositionsBehindTheOtherCameraNeverPass) {
    SceneShape shape;
    shape.cameras = 2;
    synthetic::SyntheticScene scene = makeScene(shape);
    const std::vector<Camera> cameras = camerasOf(scene.truth);
    // A position very far out along the view of camera 0 lands behind camera 1.
    scene.matches.points(0, 1).first.at(1, 0) = -1e7f;
    const PairTransfer transfer(cameras[0], cameras[1]);
    EXPECT_TRUE(std::isinf(transfer(scene.matches.points(0, 1), 0).forward));
    const MatchTable before = scene.matches;
    reselectMatches(scene.matches, pairCounts(before), cameras, {0, 1}, RansacOptions{});
    EXPECT_EQ(keptShifted(scene.matches, before, 0, 1, 1), 0);
}

TEST(MatchReselectionTest, ExactMatchesAreAllKept) {
    SceneShape shape;
    shape.cameras = 2;
    shape.noise = 0.0f;
    synthetic::SyntheticScene scene = makeScene(shape);
    const MatchTable before = scene.matches;
    const Reselection r = reselectMatches(scene.matches, pairCounts(before),
                                          camerasOf(scene.truth), {0, 1}, RansacOptions{});
    EXPECT_EQ(r.removedMatches, 0);
    EXPECT_FALSE(r.changed());
}

// A chain 0 - 1 - 2 whose pairs (1, 2) and (2, 1) hold 24 matches, `genuine` of them right and
// the rest shifted by `shift` pixels. The acceptance rule asks for more than
// (int)(24 * 0.2 + 10) = 14; a pair that fails it may still hold image 2 as its last link when
// more than alpha (10) of its matches agree with the cameras.
TEST(MatchReselectionTest, AChainKeepsTheImageBehindItsWeakestPairWhileEnoughMatchesAgree) {
    enum Outcome { Accepted, LastLink, LeftOut };
    const struct {
        int genuine;
        float shift;
        Outcome outcome;
    } cases[] = {{16, 4.0f, Accepted}, {13, 12.0f, LastLink}, {8, 12.0f, LeftOut}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.genuine << " genuine matches, the rest " << c.shift << " px off");
        SceneShape shape;
        shape.cameras = 3;
        synthetic::SyntheticScene scene = makeScene(shape);
        clearPair(scene.matches, 0, 2);
        clearPair(scene.matches, 2, 0);
        for (const auto& [i, j] : {std::pair{1, 2}, std::pair{2, 1}}) {
            truncatePair(scene.matches, i, j, 24);
            shiftMatches(scene.matches, i, j, 24 - c.genuine, c.shift, 0.0f);
        }
        std::vector<Camera> cameras =
            synthetic::perturbedCameras(scene.truth, 0.001f, 1.002f, 3);
        const std::vector<int32_t> verified = pairCounts(scene.matches);
        ReselectionRounds rounds;
        {
            std::ostringstream log;
            rounds = reselectAndAdjust(scene.matches, verified, cameras, {0, 1, 2}, BundleAdjustOptions{},
                                       RansacOptions{}, log);
        }
        const int held = std::max(scene.matches.count(1, 2), scene.matches.count(2, 1));
        if (c.outcome != LeftOut) {
            EXPECT_EQ(rounds.component, (std::vector<int32_t>{0, 1, 2}));
            EXPECT_TRUE(rounds.leftOut.empty());
            EXPECT_LE(held, c.genuine);  // none of the shifted matches
            EXPECT_GT(held, c.outcome == Accepted ? 14 : 10);
            EXPECT_NEAR(cameras[2].f, scene.truth[2].f, 0.01f * scene.truth[2].f);
        } else {
            EXPECT_EQ(rounds.component, (std::vector<int32_t>{0, 1}));
            EXPECT_EQ(rounds.leftOut, (std::vector<int32_t>{2}));
            EXPECT_EQ(held, 0);
            EXPECT_TRUE(cameras[2].R.data.empty());
            EXPECT_EQ(cameras[2].f, 0.0f);
        }
        // The rest is still registered and adjusted on its own matches.
        EXPECT_GT(scene.matches.count(0, 1), 100);
        EXPECT_EQ(cameras[1].R.rows, 3);
        EXPECT_NEAR(cameras[1].f, scene.truth[1].f, 0.01f * scene.truth[1].f);
    }
}

// The chain 0 - 1 - 2 after refinement: the last link (1, 2) was verified with 24 matches, but
// earlier rounds left it `left` of them (below alpha). Judged on what it was verified with, the
// pair holds image 2 again when those matches agree with the cameras, and still lets it go when
// they do not.
TEST(MatchReselectionTest, ALastLinkIsJudgedOnTheMatchesItWasVerifiedWith) {
    const struct {
        const char* what;
        bool withBasis;
        float verifiedShift;  // pixels, every verified match of the last link
        int left;
        bool held;
    } cases[] = {
        {"no basis: what is left decides", false, 0.0f, 8, false},
        {"its verified matches agree", true, 0.0f, 8, true},
        {"none left at all", true, 0.0f, 0, true},
        {"its verified matches disagree", true, 12.0f, 8, false},
        {"enough left: the basis is not needed", true, 12.0f, 20, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SceneShape shape;
        shape.cameras = 3;
        synthetic::SyntheticScene scene = makeScene(shape);
        clearPair(scene.matches, 0, 2);
        clearPair(scene.matches, 2, 0);
        for (const auto& [i, j] : {std::pair{1, 2}, std::pair{2, 1}}) {
            truncatePair(scene.matches, i, j, 24);
            // The cluster that disagrees is at the end, where re-selection would not keep it.
            if (c.verifiedShift > 0.0f) shiftMatches(scene.matches, i, j, 24 - c.left, c.verifiedShift, 0.0f);
        }
        const MatchTable verifiedMatches = scene.matches;
        const std::vector<int32_t> verified = pairCounts(verifiedMatches);
        for (const auto& [i, j] : {std::pair{1, 2}, std::pair{2, 1}}) {
            MatchPoints& p = scene.matches.points(i, j);
            // What is left: the genuine last columns, moved to the front.
            for (int k = 0; k < c.left; ++k)
                for (int r = 0; r < 2; ++r) {
                    p.first.at(r, k) = verifiedMatches.points(i, j).first.at(r, 24 - c.left + k);
                    p.second.at(r, k) = verifiedMatches.points(i, j).second.at(r, 24 - c.left + k);
                }
            if (c.left > 0) truncatePair(scene.matches, i, j, c.left);
            else clearPair(scene.matches, i, j);
        }
        const std::vector<Camera> cameras = camerasOf(scene.truth);
        // The panorama's scale when it was verified, as refinement takes it.
        const WeakBasis basis{c.withBasis ? &verifiedMatches : nullptr,
                              kKeepDeviations * transferSigma(verifiedMatches, cameras, {0, 1, 2})};
        const Reselection r = reselectMatches(scene.matches, verified, cameras, {0, 1, 2}, RansacOptions{}, basis);
        const int held = std::max(scene.matches.count(1, 2), scene.matches.count(2, 1));
        if (c.held) {
            EXPECT_EQ(r.component, (std::vector<int32_t>{0, 1, 2}));
            EXPECT_GT(held, 10);
        } else {
            EXPECT_EQ(r.component, (std::vector<int32_t>{0, 1}));
            EXPECT_EQ(r.leftOut, (std::vector<int32_t>{2}));
            EXPECT_EQ(held, 0);
        }
    }
}

// Pair (1, 2) of a panorama of four cameras, both ways, holds 40 matches (more than
// (int)(40 * 0.2 + 10) = 18 must agree) spread `scatter` times as far as the other pairs'
// matches, as the features of a soft part of a scene are. At 2.5 times about half of them lie
// within the panorama's threshold, enough to pass there; at 3 times too few do, and the pair,
// judged at its own scale, keeps nearly all. Far beyond a few times the panorama's spread it is
// no pair of this scene and goes, while the images it joins stay held by their other pairs.
TEST(MatchReselectionTest, ASoftPairIsJudgedAtItsOwnScaleUpToAFewTimesThePanoramas) {
    const struct {
        float scatter;
        int atLeast, atMost;  // matches kept, each way
    } cases[] = {{1.0f, 36, 40}, {2.5f, 19, 40}, {3.0f, 36, 40}, {10.0f, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scatter << " times the panorama's spread");
        SceneShape shape;
        shape.cameras = 4;
        synthetic::SyntheticScene scene = makeScene(shape);
        // Both positions carry noise of shape.noise per axis: the transfer error has sqrt(2) of it.
        const float extra = std::sqrt(2.0f) * shape.noise * std::sqrt(c.scatter * c.scatter - 1.0f);
        std::mt19937 rng(11);
        std::normal_distribution<float> noise(0.0f, extra > 0.0f ? extra : 1.0f);
        for (const auto& [i, j] : {std::pair{1, 2}, std::pair{2, 1}}) {
            truncatePair(scene.matches, i, j, 40);
            MatchPoints& p = scene.matches.points(i, j);
            for (int k = 0; k < 40 && extra > 0.0f; ++k) {
                p.second.at(0, k) += noise(rng);
                p.second.at(1, k) += noise(rng);
            }
        }
        const Reselection r = reselectMatches(scene.matches, pairCounts(scene.matches), camerasOf(scene.truth),
                                              {0, 1, 2, 3}, RansacOptions{});
        EXPECT_EQ(r.component, (std::vector<int32_t>{0, 1, 2, 3}));
        for (const auto& [i, j] : {std::pair{1, 2}, std::pair{2, 1}}) {
            EXPECT_GE(scene.matches.count(i, j), c.atLeast);
            EXPECT_LE(scene.matches.count(i, j), c.atMost);
        }
        EXPECT_GE(scene.matches.count(0, 1), 100);
    }
}

TEST(MatchReselectionTest, RobustScaleOfGaussianLengths) {
    // The median of Rayleigh lengths with sigma 1 is sqrt(2 ln 2), about 1.1774.
    EXPECT_NEAR(sigmaFromMedianLength(1.1774f), 1.0f, 1e-3f);
    EXPECT_NEAR(sigmaFromMedianLength(0.0f), 0.0f, 1e-9f);
}

}  // namespace
}  // namespace vantorra
