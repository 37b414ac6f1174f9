// The adjustment of lens distortion with the cameras, on matches made from known cameras whose
// seen positions were bent by known lenses.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "adjust/bundle_adjuster.h"
#include "adjust/lens_estimation.h"
#include "adjust/registration_refinement.h"
#include "support/pipeline_support.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

using synthetic::makeScene;
using synthetic::perturbedCameras;
using synthetic::SceneShape;

// Bends every match position of camera k by lenses[k] at the true focal length.
void bendMatches(synthetic::SyntheticScene& scene, const std::vector<LensDistortion>& lenses) {
    const int n = scene.matches.size();
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const int count = scene.matches.count(i, j);
            if (count <= 0) continue;
            MatchPoints& p = scene.matches.points(i, j);
            for (int k = 0; k < count; ++k) {
                distortPosition(lenses[i], scene.truth[i].f, p.first.at(0, k), p.first.at(1, k));
                distortPosition(lenses[j], scene.truth[j].f, p.second.at(0, k), p.second.at(1, k));
            }
        }
}

double rotationErrorDegrees(const Camera& a, const Camera& b, const CameraState& ta, const CameraState& tb) {
    return test::rotationAngleDegrees(multiply(a.R, transpose(b.R)),
                                      multiply(ta.R.toMatrix(), transpose(tb.R.toMatrix())));
}

struct LensRun {
    std::vector<Camera> cameras;
    double worstRotation = 0;  // degrees, relative to camera 0
};

LensRun adjust(const synthetic::SyntheticScene& scene, const std::vector<int32_t>* lensOf, int coefficients = 1) {
    LensRun run{perturbedCameras(scene.truth, 0.01f, 1.03f, 5)};
    BundleAdjustOptions options = settlingOptions(BundleAdjustOptions{}, 1.0f);
    options.lensCoefficients = coefficients;
    std::vector<int32_t> list;
    for (int k = 0; k < static_cast<int>(scene.truth.size()); ++k) list.push_back(k);
    test::LogCapture quiet;
    BundleAdjuster(options, quiet).BundleAdjust(scene.matches, list, run.cameras, RobustNone, 3.0f, 1, lensOf);
    for (size_t k = 1; k < run.cameras.size(); ++k)
        run.worstRotation = std::max(run.worstRotation, rotationErrorDegrees(run.cameras[k], run.cameras[0],
                                                                             scene.truth[k], scene.truth[0]));
    return run;
}

SceneShape fourViews() {
    SceneShape shape;
    shape.cameras = 4;
    shape.matchesPerPair = 300;
    shape.noise = 0.2f;
    return shape;
}

// Two lenses, one barrel and one pincushion, each shared by two cameras: both are found, every
// camera of a lens leaves with the same coefficients, and the rotations come out right. Without
// the lens model the same matches leave the rotations off by more than a degree. One row of
// views ties a free lens to the pan angles: with a lens free, even straight views of this row
// come out about 0.1 degree off at 0.2 pixels of noise, which is the bound here.
TEST(LensAdjustment, SharedLensesAreRecoveredWithTheCameras) {
    auto scene = makeScene(fourViews());
    const std::vector<LensDistortion> truth{{-0.06f, 0}, {-0.06f, 0}, {0.04f, 0}, {0.04f, 0}};
    bendMatches(scene, truth);
    const std::vector<int32_t> lensOf{0, 0, 2, 2};

    const LensRun withLens = adjust(scene, &lensOf);
    const LensRun without = adjust(scene, nullptr);
    for (size_t k = 0; k < truth.size(); ++k) EXPECT_NEAR(withLens.cameras[k].lens.k1, truth[k].k1, 0.003f) << k;
    EXPECT_EQ(withLens.cameras[0].lens, withLens.cameras[1].lens);
    EXPECT_EQ(withLens.cameras[2].lens, withLens.cameras[3].lens);
    EXPECT_LT(withLens.worstRotation, 0.15);
    for (size_t k = 0; k < truth.size(); ++k)
        EXPECT_NEAR(withLens.cameras[k].f, scene.truth[k].f, 0.005f * scene.truth[k].f) << k;

    EXPECT_TRUE(without.cameras[0].lens.none());
    EXPECT_GT(without.worstRotation, 5 * withLens.worstRotation);
}

// Two coefficients: a lens with k2 is found too.
TEST(LensAdjustment, TwoCoefficientsAreRecovered) {
    auto scene = makeScene(fourViews());
    const LensDistortion lens{-0.08f, 0.03f};
    bendMatches(scene, std::vector<LensDistortion>(4, lens));
    const std::vector<int32_t> lensOf(4, 0);
    const LensRun run = adjust(scene, &lensOf, 2);
    EXPECT_NEAR(run.cameras[0].lens.k1, lens.k1, 0.01f);
    EXPECT_NEAR(run.cameras[0].lens.k2, lens.k2, 0.02f);
    EXPECT_LT(run.worstRotation, 0.2);
}

// Straight views: the coefficients stay near zero, and the rule that keeps a lens refuses them.
TEST(LensAdjustment, NoDistortionIsFoundInStraightViews) {
    const auto scene = makeScene(fourViews());
    const std::vector<int32_t> lensOf(4, 0);
    const LensRun run = adjust(scene, &lensOf);
    EXPECT_LT(std::fabs(run.cameras[0].lens.k1), 0.002f);

    const LensRun plain = adjust(scene, nullptr);
    std::vector<int32_t> all{0, 1, 2, 3};
    const std::vector<ImageSize> sizes(4, ImageSize{601, 401, 3});
    const LensEstimate estimate = compareLenses(scene.matches, run.cameras, plain.cameras, all, sizes);
    EXPECT_FALSE(estimate.kept) << "bend " << estimate.bend << " sigma " << estimate.sigma << " plain "
                                << estimate.plainSigma;
}

// A lens is kept only for a bend the matches can see that takes a tenth off their scale.
TEST(LensAdjustment, TheKeepRuleWantsAVisibleBendAndAGain) {
    EXPECT_TRUE(lensesAsked(5.0f, 0.3f, 1.2f));
    EXPECT_FALSE(lensesAsked(0.2f, 0.3f, 1.2f));    // the bend is below the scale
    EXPECT_FALSE(lensesAsked(5.0f, 0.3f, 0.32f));   // takes less than a tenth off
    EXPECT_FALSE(lensesAsked(0.0f, 0.0f, 0.0f));
}

// How far a lens moves an image corner.
TEST(LensAdjustment, CornerBendIsTheCornersMove) {
    Camera camera(Matrix(3, 3), 500.0f, Matrix(3, 3), {-0.05f, 0.0f});
    camera.R.setIdentity();
    camera.imageTransform.setIdentity();
    const ImageSize size{801, 601, 3};  // corner at (300, 400) from the centre: r = 1
    EXPECT_NEAR(cornerBend(camera, size), 0.05f * 500.0f, 1e-2f);
    camera.lens = {};
    EXPECT_EQ(cornerBend(camera, size), 0.0f);
}

}  // namespace
}  // namespace vantorra
