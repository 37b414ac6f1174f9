#include "adjust/bundle_adjuster.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>

#include "adjust/normal_equations.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

using synthetic::makeScene;
using synthetic::perturbedCameras;
using synthetic::SceneShape;

// The adjuster's log, kept in a string.
class LogCapture {
public:
    operator std::ostream&() { return buffer_; }
    std::string text() const { return buffer_.str(); }
    int countLines(const std::string& line) const {
        std::istringstream in(buffer_.str());
        int n = 0;
        for (std::string l; std::getline(in, l);) n += l == line;
        return n;
    }
    int countPrefix(const std::string& prefix) const {
        std::istringstream in(buffer_.str());
        int n = 0;
        for (std::string l; std::getline(in, l);) n += l.rfind(prefix, 0) == 0;
        return n;
    }

private:
    std::ostringstream buffer_;
};

const std::string kLimit = "  BundleAdjust: maximum LM iterations reached ";

// Angle in degrees between the relative rotations R_k R_0^T of two camera sets, in double so
// that the measure resolves far below the float rounding of a trace near 3.
double relativeRotationError(const Matrix& rk, const Matrix& r0, const Mat3& tk, const Mat3& t0) {
    using D3 = std::array<std::array<double, 3>, 3>;
    auto product = [](auto&& a, auto&& b, bool transposeB) {
        D3 out{};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                for (int k = 0; k < 3; ++k) out[r][c] += a(r, k) * (transposeB ? b(c, k) : b(k, c));
        return out;
    };
    const Mat3 ek = Mat3::fromMatrix(rk), e0 = Mat3::fromMatrix(r0);
    auto get = [](const Mat3& m) { return [&m](int r, int c) { return static_cast<double>(m(r, c)); }; };
    const D3 est = product(get(ek), get(e0), true);
    const D3 truth = product(get(tk), get(t0), true);
    // diff = est^T truth
    const D3 diff = product([&](int r, int c) { return est[c][r]; },
                            [&](int r, int c) { return truth[r][c]; }, false);
    const double s = std::sqrt(std::pow(diff[2][1] - diff[1][2], 2) + std::pow(diff[0][2] - diff[2][0], 2) +
                               std::pow(diff[1][0] - diff[0][1], 2)) / 2.0;
    const double c = (diff[0][0] + diff[1][1] + diff[2][2] - 1.0) / 2.0;
    return std::atan2(s, c) * 180.0 / 3.14159265358979;
}

TEST(BundleAdjusterSetup, TwoCamerasSolveFiveParameters) {
    EXPECT_EQ(parameterCount(2), 5);
    EXPECT_EQ(parameterCount(4), 13);
    BundleAdjustOptions o;
    o.focalSigma = 0.1f;
    o.rotationSigma = 0.5f;
    const std::vector<float> d = priorPrecision({{Mat3::identity(), 400.0f}, {Mat3::identity(), 600.0f}}, o);
    ASSERT_EQ(d.size(), 5u);
    // sigma_f = 0.1 x 500 = 50.
    EXPECT_FLOAT_EQ(d[0], 1.0f / 2500.0f);
    EXPECT_FLOAT_EQ(d[1], 4.0f);
    EXPECT_FLOAT_EQ(d[2], 4.0f);
    EXPECT_FLOAT_EQ(d[3], 4.0f);
    EXPECT_FLOAT_EQ(d[4], 1.0f / 2500.0f);
}

TEST(BundleAdjusterRun, TwoCamerasKeepReferenceRotationAndImprove) {
    SceneShape shape;
    shape.cameras = 2;
    const auto scene = makeScene(shape);
    std::vector<Camera> cameras = perturbedCameras(scene.truth, 0.02f, 1.03f, 3);
    // The reference rotation is not the truth here: it must still stay exactly as given.
    cameras[0].R = rotationFromVector(Vec3{0.01f, 0.02f, -0.01f}).toMatrix();
    const Matrix referenceBefore = cameras[0].R;
    const Matrix secondBefore = cameras[1].R;
    const float focalBefore = cameras[0].f;

    const CameraState s0{Mat3::fromMatrix(cameras[0].R), cameras[0].f};
    const CameraState s1{Mat3::fromMatrix(cameras[1].R), cameras[1].f};
    const auto pairs = adjustPairs(scene.matches, {0, 1});
    const float before = errorSums(pairs, {s0, s1}, RobustNone, 0).plain;

    LogCapture capture;
    BundleAdjuster(BundleAdjustOptions{}, capture).BundleAdjust(scene.matches, {0, 1}, cameras, RobustNone, 3.0f, 1);
    EXPECT_EQ(cameras[0].R.data, referenceBefore.data);
    EXPECT_NE(cameras[1].R.data, secondBefore.data);
    EXPECT_NE(cameras[0].f, focalBefore);
    const CameraState a0{Mat3::fromMatrix(cameras[0].R), cameras[0].f};
    const CameraState a1{Mat3::fromMatrix(cameras[1].R), cameras[1].f};
    const float after = errorSums(pairs, {a0, a1}, RobustNone, 0).plain;
    EXPECT_LT(after, 0.01f * before);
    EXPECT_GE(capture.countPrefix("  error = "), 2);
}

TEST(BundleAdjusterRun, UnlistedCamerasAreNeverTouched) {
    SceneShape shape;
    shape.cameras = 4;
    const auto scene = makeScene(shape);
    std::vector<Camera> cameras = perturbedCameras(scene.truth, 0.02f, 1.03f, 5);
    cameras[3].imageTransform = focalMatrix(7.0f).toMatrix();
    const Camera unlisted0 = cameras[0];
    const Camera unlisted3 = cameras[3];
    const Camera listed2 = cameras[2];

    LogCapture capture;
    // Camera 1 is the reference; cameras 0 and 3 have matches with it but are not listed.
    BundleAdjuster(BundleAdjustOptions{}, capture).BundleAdjust(scene.matches, {1, 2}, cameras, RobustNone, 3.0f, 1);
    EXPECT_EQ(cameras[0].R.data, unlisted0.R.data);
    EXPECT_EQ(cameras[0].f, unlisted0.f);
    EXPECT_EQ(cameras[3].R.data, unlisted3.R.data);
    EXPECT_EQ(cameras[3].f, unlisted3.f);
    EXPECT_EQ(cameras[3].imageTransform.data, unlisted3.imageTransform.data);
    EXPECT_NE(cameras[2].R.data, listed2.R.data);
}

TEST(BundleAdjusterRun, RecoversKnownCameras) {
    // The Huber call follows a plain one, as the final adjustment of a stitch does.
    struct Case {
        const char* name;
        int cameras;
        int32_t mode;
        float sigma;
        int32_t relative;
        bool plainFirst;
        float noise;
        double maxDegrees;
        SceneShape layout = {};  // the views' layout and size; cameras, seed and noise come from above
        // The start: turned by up to `turn` and every focal length `focalScale` too long, besides
        // the usual focal perturbation; run to `minImprovement` (px).
        float turn = 0.03f, focalScale = 1.0f, minImprovement = 0.1f;
        float focalTolerance = 0.005f;  // of the true focal length
    };
    const Case cases[] = {
        {"three cameras, exact matches", 3, RobustNone, 3.0f, 1, false, 0.0f, 0.005},
        {"three cameras, plain", 3, RobustNone, 3.0f, 1, false, 0.3f, 0.05},
        {"four cameras, plain", 4, RobustNone, 3.0f, 1, false, 0.3f, 0.05},
        {"four cameras, plain then Huber", 4, RobustHuber, 1.0f, 0, true, 0.3f, 0.05},
        {"four cameras, reject", 4, RobustReject, 2.0f, 1, false, 0.3f, 0.05},
        // Rows of telephoto views: a common scale of the focal lengths moves every match by
        // little more than the noise, so the solution lies along a long, bent valley.
        {"telephoto grid, every focal length 3 % long", 96, RobustNone, 3.0f, 1, false, 0.01f, 0.05,
         {.panStep = 0.06f, .rows = 4, .tiltStep = 0.045f, .focalStep = 0.0f, .halfRows = 20.0f, .halfCols = 30.0f},
         0.003f, 1.03f, -1.0f, 0.002f},
    };
    for (const Case& c : cases) {
        SceneShape shape = c.layout;
        shape.cameras = c.cameras;
        shape.seed = 11 + c.cameras;
        shape.noise = c.noise;
        const auto scene = makeScene(shape);
        std::vector<Camera> cameras = perturbedCameras(scene.truth, c.turn, 1.04f, 9);
        for (Camera& camera : cameras) camera.f *= c.focalScale;
        LogCapture capture;
        std::vector<int32_t> list;
        for (int k = 0; k < c.cameras; ++k) list.push_back(k);
        BundleAdjustOptions options;
        options.minImprovement = c.minImprovement;
        const BundleAdjuster adjuster{options, capture};
        if (c.plainFirst) adjuster.BundleAdjust(scene.matches, list, cameras, RobustNone, 3.0f, 1);
        adjuster.BundleAdjust(scene.matches, list, cameras, c.mode, c.sigma, c.relative);
        for (int k = 0; k < c.cameras; ++k) {
            EXPECT_NEAR(cameras[k].f, scene.truth[k].f, c.focalTolerance * scene.truth[k].f)
                << c.name << " camera " << k;
            if (k == 0) continue;
            EXPECT_LT(relativeRotationError(cameras[k].R, cameras[0].R,
                                            scene.truth[k].R, scene.truth[0].R),
                      c.maxDegrees)
                << c.name << " camera " << k;
        }
    }
}

TEST(BundleAdjusterRun, RejectModeWithstandsGrossOutliers) {
    SceneShape shape;
    shape.cameras = 3;
    auto scene = makeScene(shape);
    // Every fifth match of every pair is moved 60 pixels away.
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < scene.matches.count(i, j); k += 5)
                scene.matches.points(i, j).second.at(1, k) += 60.0f;
    const auto initial = perturbedCameras(scene.truth, 0.01f, 1.02f, 4);

    auto worstFocalError = [&](int32_t mode) {
        std::vector<Camera> cameras = initial;
        LogCapture capture;
        BundleAdjuster(BundleAdjustOptions{}, capture).BundleAdjust(scene.matches, {0, 1, 2}, cameras, mode, 5.0f, 0);
        float worst = 0.0f;
        for (int k = 0; k < 3; ++k)
            worst = std::fmax(worst, std::fabs(cameras[k].f / scene.truth[k].f - 1.0f));
        return worst;
    };
    const float rejected = worstFocalError(RobustReject);
    EXPECT_LT(rejected, 0.005f);
    EXPECT_LT(rejected, worstFocalError(RobustNone));
}

TEST(BundleAdjusterLog, TrialLimitLogsOnceAndKeepsCameras) {
    SceneShape shape;
    shape.cameras = 2;
    const auto scene = makeScene(shape);
    std::vector<Camera> cameras = perturbedCameras(scene.truth, 0.02f, 1.03f, 3);
    const std::vector<Camera> before = cameras;

    LogCapture capture;
    // A tiny absolute threshold rejects every match: the robust error is already zero, no step
    // can lower it, and all 21 trials are rejected.
    BundleAdjuster(BundleAdjustOptions{}, capture).BundleAdjust(scene.matches, {0, 1}, cameras, RobustReject, 1e-6f, 0);
    EXPECT_EQ(capture.countLines(kLimit), 1);
    EXPECT_EQ(capture.countPrefix("  error = "), 2);  // one iteration, then the closing line
    EXPECT_EQ(capture.text(), "  error = 0\n" + kLimit + "\n  error = 0\n");
    for (size_t k = 0; k < before.size(); ++k) {
        EXPECT_EQ(cameras[k].R.data, before[k].R.data);
        EXPECT_EQ(cameras[k].f, before[k].f);
    }
}

TEST(BundleAdjusterLog, OneLinePerIterationPlusClosingLine) {
    SceneShape shape;
    shape.cameras = 3;
    const auto scene = makeScene(shape);
    const auto initial = perturbedCameras(scene.truth, 0.03f, 1.04f, 2);
    std::vector<CameraState> states;
    for (const Camera& c : initial) states.push_back({Mat3::fromMatrix(c.R), c.f});
    const auto pairs = adjustPairs(scene.matches, {0, 1, 2});
    const float e0 =
        std::sqrt(errorSums(pairs, states, RobustNone, 0).plain / static_cast<float>(totalMatches(pairs)));

    for (int32_t iterations : {0, 1, 2}) {
        BundleAdjustOptions o;
        o.maxIterations = iterations;
        o.minImprovement = -1.0f;  // never converge early
        std::vector<Camera> cameras = initial;
        LogCapture capture;
        BundleAdjuster(o, capture).BundleAdjust(scene.matches, {0, 1, 2}, cameras, RobustNone, 3.0f, 1);
        EXPECT_EQ(capture.countPrefix("  error = "), iterations + 1) << iterations;
        EXPECT_EQ(capture.countLines(kLimit), 0);
        std::ostringstream first;
        first << "  error = " << e0 << "\n";
        EXPECT_EQ(capture.text().substr(0, first.str().size()), first.str()) << iterations;
        if (iterations == 0) {
            EXPECT_EQ(cameras[1].R.data, initial[1].R.data);
        }
    }
}

TEST(BundleAdjusterInput, UnusableCallsChangeAndLogNothing) {
    SceneShape shape;
    shape.cameras = 3;
    const auto scene = makeScene(shape);
    MatchTable noShared = scene.matches;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if ((i == 0 && j == 2) || (i == 2 && j == 0)) noShared.count(i, j) = 0;
    MatchTable shortList = scene.matches;
    shortList.count(0, 1) += 1;  // claims one match more than the matrices hold

    std::vector<Camera> unregistered = perturbedCameras(scene.truth, 0.02f, 1.03f, 3);
    unregistered[2].R = Matrix();
    std::vector<Camera> zeroFocal = perturbedCameras(scene.truth, 0.02f, 1.03f, 3);
    zeroFocal[1].f = 0.0f;
    const std::vector<Camera> good = perturbedCameras(scene.truth, 0.02f, 1.03f, 3);

    struct Case {
        const char* name;
        const MatchTable* matches;
        std::vector<int32_t> list;
        const std::vector<Camera>* cameras;
    };
    const Case cases[] = {
        {"one camera", &scene.matches, {0}, &good},
        {"no camera", &scene.matches, {}, &good},
        {"no shared match", &noShared, {0, 2}, &good},
        {"image out of range", &scene.matches, {0, 3}, &good},
        {"negative image", &scene.matches, {0, -1}, &good},
        {"repeated image", &scene.matches, {0, 1, 0}, &good},
        {"unregistered camera", &scene.matches, {0, 2}, &unregistered},
        {"zero focal length", &scene.matches, {0, 1}, &zeroFocal},
        {"count beyond the match list", &shortList, {0, 1}, &good},
    };
    for (const Case& c : cases) {
        std::vector<Camera> cameras = *c.cameras;
        LogCapture capture;
        BundleAdjuster(BundleAdjustOptions{}, capture).BundleAdjust(*c.matches, c.list, cameras, RobustNone, 3.0f, 1);
        EXPECT_EQ(capture.text(), "") << c.name;
        for (size_t k = 0; k < c.cameras->size(); ++k) {
            EXPECT_EQ(cameras[k].R.data, (*c.cameras)[k].R.data) << c.name;
            EXPECT_EQ(cameras[k].f, (*c.cameras)[k].f) << c.name;
        }
    }
}

}  // namespace
}  // namespace vantorra
