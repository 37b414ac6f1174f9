// Gain compensation on two real neighbouring views whose exposures were changed by 0.7 and 1.3:
// the brightness of their overlap before and after the computed gains.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/image.h"
#include "pipeline/stitcher.h"
#include "render/gain_compensation.h"
#include "render/warp.h"
#include "support/pipeline_support.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

// Writes `name` of the row multiplied by `factor` (clamped) into `dir` at quality 95.
void writeExposed(const std::string& name, float factor, const test::TempDir& dir) {
    FloatImage image;
    ASSERT_TRUE(readPhoto(test::testData("matching/row6") + name, image));
    for (float& v : image.data) v *= factor;
    image.clampTo255();
    Image out;
    out.allocate(image.rows, image.cols, 3);
    out.pasteFrom(0, 0, image, 0, 0, image.rows - 1, image.cols - 1);
    std::string error;
    ASSERT_TRUE(writeJpeg(dir.file(name), out, 95, &error)) << error;
}

FloatImage toFloat(const Image& image, const std::array<float, 3>& gains) {
    FloatImage f(image.rows, image.cols, 3);
    for (size_t i = 0; i < image.data.size(); ++i) f.data[i] = image.data[i];
    applyGains(f, gains);
    return f;
}

// Relative difference |meanA - meanB| / ((meanA + meanB) / 2) of the brightness where both
// warped images cover the panorama, after multiplying each by its gains.
double overlapImbalance(const Image& a, const Image& b, const std::array<float, 3>& gainA,
                        const std::array<float, 3>& gainB, long* pixels) {
    const FloatImage fa = toFloat(a, gainA), fb = toFloat(b, gainB);
    double sumA = 0, sumB = 0;
    long n = 0;
    for (int r = 0; r < a.rows; ++r)
        for (int c = 0; c < a.cols; ++c) {
            if (!test::covered(a, r, c) || !test::covered(b, r, c)) continue;
            ++n;
            for (int k = 0; k < 3; ++k) {
                sumA += fa.at(r, c, k);
                sumB += fb.at(r, c, k);
            }
        }
    *pixels = n;
    if (n == 0) return -1;
    return std::abs(sumA - sumB) / (0.5 * (sumA + sumB));
}

// Measured: 41 % imbalance without gains; 7.6 % left at gainSigma 0.1, where the prior still
// pulls the gains towards 1, and 0.6 % at gainSigma 1.0.
struct GainCase {
    float gainSigma;
    double maxImbalance;  // after the gains
};

class EndToEndGainsTest : public testing::TestWithParam<GainCase> {};

TEST_P(EndToEndGainsTest, GainsBalanceTheOverlapOfDifferentlyExposedViews) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    writeExposed("DSC_0100.jpg", 0.7f, dir);
    writeExposed("DSC_0135.jpg", 1.3f, dir);
    Stitcher stitcher;
    stitcher.options = test::smallOptions(500, "none");
    stitcher.options.render.gainCompensation = true;
    stitcher.options.render.gainSigma = GetParam().gainSigma;
    Image output;
    RunReport report;
    {
        test::LogCapture log;
        report = stitcher.stitch(dir.path + "/", {"DSC_0100.jpg", "DSC_0135.jpg"}, output, log);
    }
    ASSERT_FALSE(stitcher.needsRegistration()) << report.message;
    ASSERT_EQ(stitcher.component().size(), 2u);

    NullStream quiet;
    const Gains gains = computeGains(stitcher.options.render, stitcher.renderScene(), stitcher.progress, quiet);
    ASSERT_EQ(gains.size(), 2u);
    const Image a = test::renderAlone(stitcher, report.render, 0), b = test::renderAlone(stitcher, report.render, 1);
    long pixels = 0;
    const std::array<float, 3> one = {1.0f, 1.0f, 1.0f};
    const double before = overlapImbalance(a, b, one, one, &pixels);
    const double after = overlapImbalance(a, b, gains[0], gains[1], &pixels);
    std::printf("gainSigma %.1f: gains %.3f %.3f %.3f / %.3f %.3f %.3f; overlap %ld px, "
                "imbalance %.1f %% without gains, %.1f %% with\n",
                GetParam().gainSigma, gains[0][0], gains[0][1], gains[0][2], gains[1][0],
                gains[1][1], gains[1][2], pixels, 100 * before, 100 * after);
    ASSERT_GT(pixels, 2000);
    EXPECT_GT(before, 0.4);  // 0.7 against 1.3, less what clipping at 255 removed
    EXPECT_LT(after, GetParam().maxImbalance);
    for (int k = 0; k < 3; ++k) EXPECT_GT(gains[0][k], gains[1][k]) << k;  // the dark one is raised
}

INSTANTIATE_TEST_SUITE_P(Sigmas, EndToEndGainsTest,
                         testing::Values(GainCase{0.1f, 0.15}, GainCase{1.0f, 0.03}));

}  // namespace
}  // namespace vantorra
