#include "adjust/normal_equations.h"

#include <gtest/gtest.h>

#include <cmath>

#include "adjust/robust_error.h"
#include "options/stitch_options.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

using synthetic::makeScene;
using synthetic::SceneShape;

Vec3 predicted(const CameraState& ci, const CameraState& cj, float x, float y) {
    const Vec3 p = pairHomography(ci, cj) * Vec3{x, y, 1.0f};
    return {p.x / p.z, p.y / p.z, 1.0f};
}

// Moves parameter q (0..7 as in PairProjection) of the pair by eps.
void nudge(CameraState& ci, CameraState& cj, int q, float eps) {
    CameraState& c = q < 4 ? ci : cj;
    const int p = q % 4;
    if (p == 3) {
        c.f += eps;
        return;
    }
    Vec3 turn;
    if (p == 0) turn.x = eps;
    if (p == 1) turn.y = eps;
    if (p == 2) turn.z = eps;
    c.R = c.R * rotationFromVector(turn);
}

TEST(PairProjection, DerivativesMatchCentralDifferences) {
    const CameraState ci{rotationFromVector(Vec3{0.1f, -0.2f, 0.05f}), 550.0f};
    const CameraState cj{rotationFromVector(Vec3{0.4f, 0.1f, -0.03f}), 640.0f};
    const PairProjection proj = pairProjection(ci, cj);
    const float x = -80.0f, y = 120.0f;
    const Vec3 p = proj.h * Vec3{x, y, 1.0f};
    for (int q = 0; q < 8; ++q) {
        const float eps = q % 4 == 3 ? 0.5f : 1e-3f;
        CameraState ai = ci, aj = cj, bi = ci, bj = cj;
        nudge(ai, aj, q, eps);
        nudge(bi, bj, q, -eps);
        const Vec3 plus = predicted(ai, aj, x, y), minus = predicted(bi, bj, x, y);
        const Vec3 d = proj.derivatives[q] * Vec3{x, y, 1.0f};
        const float du = d.x / p.z - p.x * d.z / (p.z * p.z);
        const float dv = d.y / p.z - p.y * d.z / (p.z * p.z);
        const float numericU = (plus.x - minus.x) / (2 * eps);
        const float numericV = (plus.y - minus.y) / (2 * eps);
        const float scale = std::fabs(numericU) + std::fabs(numericV) + 1.0f;
        EXPECT_NEAR(du, numericU, 0.01f * scale) << "parameter " << q;
        EXPECT_NEAR(dv, numericV, 0.01f * scale) << "parameter " << q;
    }
}

TEST(AdjustPairs, OrderedPairsWithMatchesInListOrder) {
    MatchTable t(4);
    t.count(2, 0) = 3;
    t.count(0, 2) = 1;
    t.count(1, 3) = 5;  // camera 1 not listed
    t.count(3, 0) = 2;
    t.placeCounted();
    const std::vector<AdjustPair> pairs = adjustPairs(t, {2, 0, 3});
    ASSERT_EQ(pairs.size(), 3u);
    // First outer, second inner, by list position: (2,0), (0,2), (3,0).
    EXPECT_EQ(pairs[0].first, 0);
    EXPECT_EQ(pairs[0].second, 1);
    EXPECT_EQ(pairs[1].first, 1);
    EXPECT_EQ(pairs[1].second, 0);
    EXPECT_EQ(pairs[2].first, 2);
    EXPECT_EQ(pairs[2].second, 1);
    EXPECT_EQ(pairs[2].points, &t.points(3, 0));
    EXPECT_EQ(totalMatches(pairs), 6);
}

// Appends a match (x, y) -> (X, Y) to the pair (i, j).
void addMatch(MatchTable& t, int i, int j, float x, float y, float X, float Y) {
    MatchPoints& p = t.place(i, j);
    const int n = t.count(i, j);
    Matrix first(2, n + 1), second(2, n + 1);
    first.pasteBlock(p.first, 0, 0);
    second.pasteBlock(p.second, 0, 0);
    first.at(0, n) = x;
    first.at(1, n) = y;
    second.at(0, n) = X;
    second.at(1, n) = Y;
    p = {first, second};
    t.count(i, j) = n + 1;
}

TEST(Linearise, RejectDropsMatchesAtOrAboveSigmaExactly) {
    SceneShape shape;
    shape.cameras = 2;
    shape.matchesPerPair = 40;
    synthetic::SyntheticScene scene = makeScene(shape);
    const std::vector<CameraState> cameras = scene.truth;

    MatchTable withOutliers = scene.matches;
    // A match whose residual is exactly sigma, and two far beyond it, must drop out. sigma is
    // taken from the rounded offset so that the residual equals it exactly.
    const Vec3 centre = predicted(cameras[0], cameras[1], 0.0f, 0.0f);
    const float shifted = centre.x + 3.0f;
    const float sigma = shifted - centre.x;
    addMatch(withOutliers, 0, 1, 0.0f, 0.0f, shifted, centre.y);
    addMatch(withOutliers, 0, 1, 0.0f, 0.0f, centre.x - 40.0f, centre.y + 25.0f);
    addMatch(withOutliers, 1, 0, 10.0f, -10.0f, 300.0f, 300.0f);

    const std::vector<int32_t> list{0, 1};
    const auto clean = linearise(adjustPairs(scene.matches, list), cameras, RobustReject, sigma);
    const auto dirty = linearise(adjustPairs(withOutliers, list), cameras, RobustReject, sigma);
    const auto plain = linearise(adjustPairs(withOutliers, list), cameras, RobustNone, sigma);
    EXPECT_EQ(dirty.a.data, clean.a.data);
    EXPECT_EQ(dirty.g.data, clean.g.data);
    EXPECT_EQ(dirty.residualSquares, clean.residualSquares);
    EXPECT_GT(plain.residualSquares, clean.residualSquares + 1000.0f);

    const ErrorSums sums = errorSums(adjustPairs(withOutliers, list), cameras, RobustReject, sigma);
    EXPECT_EQ(sums.robust, clean.residualSquares);
    EXPECT_GT(sums.plain, sums.robust + 1000.0f);
}

TEST(Linearise, EquationsAreProductsOfTheResidualsDerivatives) {
    // Two cameras, matches of pair (0, 1) that their cameras do not quite explain: the system is
    // J^T J and J^T r of the residuals r = partner - prediction, J = d(prediction) / d(parameters),
    // J here from central differences.
    std::vector<CameraState> cameras{{rotationFromVector(Vec3{0.1f, -0.2f, 0.05f}), 550.0f},
                                     {rotationFromVector(Vec3{0.4f, 0.1f, -0.03f}), 640.0f}};
    const float points[][2] = {{-80.0f, 120.0f}, {35.0f, -60.0f}, {150.0f, 10.0f}, {-20.0f, -140.0f}};
    MatchTable table(2);
    for (const auto& pt : points) {
        const Vec3 seen = predicted(cameras[0], cameras[1], pt[0], pt[1]);
        addMatch(table, 0, 1, pt[0], pt[1], seen.x + 0.7f, seen.y - 1.1f);
    }
    const NormalEquations eq = linearise(adjustPairs(table, {0, 1}), cameras, RobustNone, 0.0f);
    ASSERT_EQ(eq.a.rows, 8);
    double a[8][8] = {}, g[8] = {};
    for (const auto& pt : points) {
        const double rx = 0.7, ry = -1.1;  // partner minus prediction
        double jx[8], jy[8];
        for (int q = 0; q < 8; ++q) {
            const float eps = q % 4 == 3 ? 0.5f : 1e-3f;
            CameraState ai = cameras[0], aj = cameras[1], bi = cameras[0], bj = cameras[1];
            nudge(ai, aj, q, eps);
            nudge(bi, bj, q, -eps);
            const Vec3 plus = predicted(ai, aj, pt[0], pt[1]), minus = predicted(bi, bj, pt[0], pt[1]);
            jx[q] = (plus.x - minus.x) / (2.0 * eps);
            jy[q] = (plus.y - minus.y) / (2.0 * eps);
        }
        for (int q = 0; q < 8; ++q) {
            for (int r = 0; r < 8; ++r) a[q][r] += jx[q] * jx[r] + jy[q] * jy[r];
            g[q] += jx[q] * rx + jy[q] * ry;
        }
    }
    for (int q = 0; q < 8; ++q) {
        EXPECT_NEAR(eq.g.at(q), g[q], 0.02 * (std::fabs(g[q]) + 1.0)) << q;
        for (int r = 0; r < 8; ++r)
            EXPECT_NEAR(eq.a.at(q, r), a[q][r], 0.02 * (std::sqrt(std::fabs(a[q][q] * a[r][r])) + 1.0)) << q << "," << r;
    }
}

TEST(Linearise, SystemIsSymmetricAndPlacesPairBlocks) {
    SceneShape shape;
    shape.cameras = 3;
    shape.matchesPerPair = 30;
    const synthetic::SyntheticScene scene = makeScene(shape);
    MatchTable onlyOneWay = scene.matches;
    onlyOneWay.count(1, 0) = 0;
    onlyOneWay.count(0, 2) = 0;
    onlyOneWay.count(2, 0) = 0;
    onlyOneWay.count(1, 2) = 0;
    onlyOneWay.count(2, 1) = 0;
    const auto eq = linearise(adjustPairs(onlyOneWay, {0, 1, 2}), scene.truth, RobustNone, 0.0f);
    ASSERT_EQ(eq.a.rows, 12);
    ASSERT_EQ(eq.g.rows, 12);
    for (int r = 0; r < 12; ++r)
        for (int c = 0; c < 12; ++c) {
            EXPECT_EQ(eq.a.at(r, c), eq.a.at(c, r));
            if (r >= 8 || c >= 8) {
                EXPECT_EQ(eq.a.at(r, c), 0.0f) << "camera 2 has no pair";
            }
        }
    for (int r = 0; r < 8; ++r) EXPECT_GT(eq.a.at(r, r), 0.0f) << r;
}

TEST(Linearise, ThreadsGiveTheSystemAndSumsOfOnePass) {
    SceneShape shape;
    shape.cameras = 5;
    shape.matchesPerPair = 120;
    const synthetic::SyntheticScene scene = makeScene(shape);
    std::vector<CameraState> cameras = scene.truth;
    for (size_t k = 1; k < cameras.size(); ++k) cameras[k].f *= 1.0f + 0.01f * static_cast<float>(k);  // off the truth
    cameras[1].lens.k1 = -0.05f;  // a bent camera and estimated lenses exercise the lens columns
    cameras[1].lensSlot = 0;
    cameras[2].lensSlot = 0;
    const LensParameters lenses{1, 2};
    const std::vector<AdjustPair> pairs = adjustPairs(scene.matches, {0, 1, 2, 3, 4});
    for (const int32_t mode : {RobustNone, RobustHuber}) {
        const NormalEquations alone = linearise(pairs, cameras, mode, 1.5f, lenses);
        const ErrorSums aloneSums = errorSums(pairs, cameras, mode, 1.5f);
        for (const int threads : {2, 3}) {
            ThreadPool pool(threads);
            const NormalEquations shared = linearise(pairs, cameras, mode, 1.5f, lenses, &pool);
            EXPECT_EQ(shared.a.data, alone.a.data) << mode << " " << threads;
            EXPECT_EQ(shared.g.data, alone.g.data) << mode << " " << threads;
            EXPECT_EQ(shared.residualSquares, alone.residualSquares) << mode << " " << threads;
            const ErrorSums sums = errorSums(pairs, cameras, mode, 1.5f, &pool);
            EXPECT_EQ(sums.plain, aloneSums.plain);
            EXPECT_EQ(sums.robust, aloneSums.robust);
        }
        // Both add the squared residuals one by one in pair and match order.
        EXPECT_EQ(alone.residualSquares, aloneSums.robust) << mode;
    }
}

}  // namespace
}  // namespace vantorra
