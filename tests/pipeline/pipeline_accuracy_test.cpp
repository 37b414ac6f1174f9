// Cameras solved by the whole pipeline on the small row of six, against the true cameras: the
// rotation between every two views and each focal length at full resolution.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "pipeline/stitcher.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

// With the matches re-selected under the solved cameras and their positions refined, the
// relative rotations of these 600x400 views come out within about 0.02 degrees on average and
// 0.04 at worst. The bounds leave a factor of about three: a wrongly kept cluster of matches or a
// refinement that stopped working is off by a tenth of a degree or more, as the unrefined
// registration is (0.1 on average, 0.25 at worst).
constexpr double kMaxRelativeRotationDegrees = 0.15;
constexpr double kMeanRelativeRotationDegrees = 0.06;
constexpr double kMaxFocalError = 0.005;  // fraction of the true focal length

TEST(PipelineAccuracyTest, RowOfSixMatchesTheTrueRotationsAndFocalLengths) {
    test::StitchedSet& row = test::stitchedRow6();
    const Stitcher& stitcher = row.stitcher;
    ASSERT_FALSE(stitcher.needsRegistration());
    const auto truth = test::readTruth(test::testData("matching/row6"));
    const size_t n = stitcher.names().size();
    ASSERT_EQ(stitcher.component().size(), n);

    double worst = 0, total = 0;
    int pairs = 0;
    for (size_t a = 0; a < n; ++a)
        for (size_t b = a + 1; b < n; ++b) {
            const Matrix solved = multiply(stitcher.cameras()[a].R, transpose(stitcher.cameras()[b].R));
            const Matrix expected = multiply(truth.at(stitcher.names()[a]).R,
                                             transpose(truth.at(stitcher.names()[b]).R));
            const double error = test::rotationAngleDegrees(solved, expected);
            EXPECT_LT(error, kMaxRelativeRotationDegrees)
                << stitcher.names()[a] << " / " << stitcher.names()[b];
            worst = std::max(worst, error);
            total += error;
            ++pairs;
        }
    const double mean = total / pairs;
    EXPECT_LT(mean, kMeanRelativeRotationDegrees);
    std::printf("row6 relative rotation error: mean %.3f deg, max %.3f deg over %d pairs\n", mean,
                worst, pairs);

    double worstFocal = 0;
    for (size_t i = 0; i < n; ++i) {
        const Camera& camera = stitcher.cameras()[i];
        const double full = camera.f * camera.imageTransform.at(0, 0);
        const double trueFocal = truth.at(stitcher.names()[i]).F;
        const double error = std::abs(full - trueFocal) / trueFocal;
        EXPECT_LT(error, kMaxFocalError) << stitcher.names()[i] << ": " << full << " vs "
                                         << trueFocal;
        worstFocal = std::max(worstFocal, error);
    }
    std::printf("row6 focal length error: max %.2f %%\n", 100.0 * worstFocal);
}

// Mean and largest relative rotation error (degrees) over every two registered views with a true
// camera, and the largest focal length error (fraction).
struct Accuracy {
    double mean = 0, worst = 0, worstFocal = 0;
    int registered = 0;
    LensDistortion lens;  // of the first registered view
};

Accuracy accuracyOf(const std::string& set, bool refine) {
    Stitcher stitcher;
    stitcher.options.render.renderEnabled = false;
    stitcher.options.bundle.refineRegistration = refine;
    const std::string directory = test::testData(set);
    Image output;
    {
        test::LogCapture quiet;
        stitcher.stitch(directory, test::jpegNames(directory), output, quiet);
    }
    const auto truth = test::readTruth(directory);
    Accuracy a;
    int pairs = 0;
    const std::vector<int32_t>& c = stitcher.component();
    for (size_t x = 0; x < c.size(); ++x) {
        const auto& tx = truth.at(stitcher.names()[c[x]]);
        if (tx.F <= 0) continue;
        const Camera& cx = stitcher.cameras()[c[x]];
        if (a.registered++ == 0) a.lens = cx.lens;
        a.worstFocal = std::max(a.worstFocal, std::abs(cx.f * cx.imageTransform.at(0, 0) - tx.F) / tx.F);
        for (size_t y = x + 1; y < c.size(); ++y) {
            const auto& ty = truth.at(stitcher.names()[c[y]]);
            if (ty.F <= 0) continue;
            const double e = test::rotationAngleDegrees(
                multiply(cx.R, transpose(stitcher.cameras()[c[y]].R)), multiply(tx.R, transpose(ty.R)));
            a.mean += e;
            a.worst = std::max(a.worst, e);
            ++pairs;
        }
    }
    if (pairs > 0) a.mean /= pairs;
    return a;
}

// Re-selection and sub-pixel positions against the plain registration on the same photographs:
// every view still registered, and both the mean and the largest rotation error smaller.
TEST(PipelineAccuracyTest, RefinedRegistrationIsCloserToTheTruthThanUnrefined) {
    for (const char* set : {"matching/row6", "matching/distractor"}) {
        SCOPED_TRACE(set);
        const Accuracy plain = accuracyOf(set, false);
        const Accuracy refined = accuracyOf(set, true);
        std::printf("%s rotation error: mean %.4f -> %.4f deg, max %.4f -> %.4f deg\n", set,
                    plain.mean, refined.mean, plain.worst, refined.worst);
        EXPECT_EQ(refined.registered, plain.registered);
        EXPECT_GT(refined.registered, 2);
        EXPECT_LT(refined.mean, plain.mean);
        EXPECT_LT(refined.worst, plain.worst);
        EXPECT_LE(refined.worstFocal, plain.worstFocal);
    }
}

// Five views through a lens with barrel distortion (k1 = -0.06 in the lens's own terms, which
// are the camera model's): without a lens model the rotations are off by degrees and the focal
// length by a tenth. With it every view registers, the rotations come within a few hundredths of
// a degree (bounds with room for a factor of three to five) and k1 within 0.005 of the truth.
TEST(PipelineAccuracyTest, BarrelDistortionIsEstimatedAndTheCamerasComeOutRight) {
    const Accuracy lens = accuracyOf("matching/lens5", true);
    std::printf("lens5: rotation error mean %.4f, max %.4f deg, focal %.3f %%, k1 %.5f, k2 %.5f\n", lens.mean,
                lens.worst, 100.0 * lens.worstFocal, lens.lens.k1, lens.lens.k2);
    EXPECT_EQ(lens.registered, 5);
    EXPECT_LT(lens.mean, 0.1);
    EXPECT_LT(lens.worst, 0.3);
    EXPECT_LT(lens.worstFocal, 0.01);
    EXPECT_NEAR(lens.lens.k1, -0.06, 0.005);
}

// The same adjustment on views without distortion finds none: a lens is only kept when the
// matches ask for it.
TEST(PipelineAccuracyTest, NoDistortionIsInventedWhereThereIsNone) {
    for (const char* set : {"matching/row6", "matching/distractor", "pano360"}) {
        SCOPED_TRACE(set);
        const Accuracy a = accuracyOf(set, true);
        EXPECT_GT(a.registered, 2);
        EXPECT_LT(std::fabs(a.lens.k1), 0.005f);
        EXPECT_LT(std::fabs(a.lens.k2), 0.005f);
    }
}

}  // namespace
}  // namespace vantorra
