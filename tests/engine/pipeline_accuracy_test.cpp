// Cameras solved by the whole pipeline on the small row of six, against the true cameras: the
// rotation between every two views and each focal length at full resolution.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/stitcher.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

// RANSAC keeps similarity inliers up to 10 pixels and the final adjustment is robust; on these
// 600x400 views the relative rotations come out within about 0.2 degrees on average. 0.6 degrees
// is three times that: a wrong pairing or a lost adjustment step is off by whole degrees.
constexpr double kMaxRelativeRotationDegrees = 0.6;
constexpr double kMeanRelativeRotationDegrees = 0.3;
constexpr double kMaxFocalError = 0.02;  // fraction of the true focal length

TEST(PipelineAccuracyTest, RowOfSixMatchesTheTrueRotationsAndFocalLengths) {
    test::StitchedSet& row = test::stitchedRow6();
    const Stitcher& stitcher = row.stitcher;
    ASSERT_FALSE(stitcher.needsRegistration) << stitcher.lastError;
    const auto truth = test::readTruth(test::testData("matching/row6"));
    const size_t n = stitcher.imageNames.size();
    ASSERT_EQ(stitcher.component.size(), n);

    double worst = 0, total = 0;
    int pairs = 0;
    for (size_t a = 0; a < n; ++a)
        for (size_t b = a + 1; b < n; ++b) {
            const Matrix solved = multiply(stitcher.cameras[a].R, transpose(stitcher.cameras[b].R));
            const Matrix expected = multiply(truth.at(stitcher.imageNames[a]).R,
                                             transpose(truth.at(stitcher.imageNames[b]).R));
            const double error = test::rotationAngleDegrees(solved, expected);
            EXPECT_LT(error, kMaxRelativeRotationDegrees)
                << stitcher.imageNames[a] << " / " << stitcher.imageNames[b];
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
        const Camera& camera = stitcher.cameras[i];
        const double full = camera.f * camera.imageTransform.at(0, 0);
        const double trueFocal = truth.at(stitcher.imageNames[i]).F;
        const double error = std::abs(full - trueFocal) / trueFocal;
        EXPECT_LT(error, kMaxFocalError) << stitcher.imageNames[i] << ": " << full << " vs "
                                         << trueFocal;
        worstFocal = std::max(worstFocal, error);
    }
    std::printf("row6 focal length error: max %.2f %%\n", 100.0 * worstFocal);
}

}  // namespace
}  // namespace vantorra
