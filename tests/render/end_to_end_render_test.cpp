// Panoramas rendered from real views after the whole pipeline: warped neighbours agree where
// they overlap, and a full turn covers every longitude with its two edges meeting.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "pipeline/stitcher.h"
#include "render/equirectangular.h"
#include "render/recentre.h"
#include "render/renderer.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

constexpr double kPi = 3.14159265358979;

// Moves every pixel `shift` columns to the right (uncovered on the left).
Image shiftedRight(const Image& image, int shift) {
    Image out;
    out.allocate(image.rows, image.cols, image.channels);
    for (int r = 0; r < image.rows; ++r)
        for (int c = shift; c < image.cols; ++c)
            for (int k = 0; k < image.channels; ++k) out.at(r, c, k) = image.at(r, c - shift, k);
    return out;
}

TEST(EndToEndRenderTest, WarpedNeighboursOfTheRowAgreeWhereTheyOverlap) {
    test::StitchedSet& row = test::stitchedRow6();
    Stitcher& stitcher = row.stitcher;
    ASSERT_FALSE(stitcher.needsRegistration()) << row.report.message;
    std::vector<Image> alone;
    for (const int32_t k : stitcher.component()) {
        alone.push_back(test::renderAlone(stitcher, row.report.render, k));
        ASSERT_EQ(alone.back().rows, row.output.rows);
        ASSERT_EQ(alone.back().cols, row.output.cols);
    }
    int overlappingPairs = 0;
    double worst = 0;
    for (size_t a = 0; a < alone.size(); ++a)
        for (size_t b = a + 1; b < alone.size(); ++b) {
            const test::Overlap o = test::compareOverlap(alone[a], alone[b]);
            if (o.pixels < 2000) continue;  // not neighbours
            ++overlappingPairs;
            // Three pixels of misregistration already show: the aligned images agree better.
            const test::Overlap misaligned = test::compareOverlap(alone[a], shiftedRight(alone[b], 3));
            std::printf("row6 overlap %zu/%zu: %ld px, brightness %.1f / %.1f, mean |difference| "
                        "%.2f, exposure-balanced %.2f (shifted 3 px: %.2f)\n",
                        a, b, o.pixels, o.meanA, o.meanB, o.meanAbsDifference,
                        o.meanAbsDifferenceBalanced, misaligned.meanAbsDifferenceBalanced);
            worst = std::max(worst, o.meanAbsDifferenceBalanced);
            // The views carry their own exposures, so the comparison is made once the
            // brightness of the overlap agrees; what remains is misregistration, resampling and
            // noise, well below what three pixels of misregistration give.
            EXPECT_LT(o.meanAbsDifferenceBalanced, 10.0) << a << "/" << b;
            EXPECT_LT(o.meanAbsDifferenceBalanced, 0.6 * misaligned.meanAbsDifferenceBalanced)
                << a << "/" << b;
        }
    EXPECT_GE(overlappingPairs, 5);  // a row of six has at least five neighbouring pairs
    std::printf("row6 worst exposure-balanced overlap mean |difference| %.2f\n", worst);
    // Every covered pixel of the full render comes from one of the warped images.
    long uncovered = 0, covered = 0;
    for (int r = 0; r < row.output.rows; ++r)
        for (int c = 0; c < row.output.cols; ++c) {
            if (!test::covered(row.output, r, c)) continue;
            ++covered;
            bool any = false;
            for (const Image& image : alone) any = any || test::covered(image, r, c);
            if (!any) ++uncovered;
        }
    EXPECT_GT(covered, 0);
    EXPECT_LT(uncovered, covered / 1000 + 1);
}

class FullTurnTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        set = std::make_unique<test::StitchedSet>();
        set->stitcher.options = test::smallOptions(1000, "none");
        const std::string directory = test::testData("pano360");
        test::LogCapture capture;
        set->report = set->stitcher.stitch(directory, test::jpegNames(directory), set->output, capture);
        set->log = capture.text();
    }
    static void TearDownTestSuite() { set.reset(); }
    static std::unique_ptr<test::StitchedSet> set;
};
std::unique_ptr<test::StitchedSet> FullTurnTest::set;

TEST_F(FullTurnTest, EveryViewJoinsAndTheSeamIsFound) {
    const Stitcher& stitcher = set->stitcher;
    ASSERT_FALSE(stitcher.needsRegistration()) << set->report.message;
    EXPECT_EQ(stitcher.component().size(), 10u);
    EXPECT_NE(set->log.find("pano is split\n"), std::string::npos);
}

TEST_F(FullTurnTest, OutputSpansTheWholeTurnAndItsEdgesMeet) {
    const Stitcher& stitcher = set->stitcher;
    ASSERT_FALSE(stitcher.needsRegistration()) << set->report.message;
    const RenderResult& o = set->report.render;
    const Image& pano = set->output;
    ASSERT_EQ(pano.cols, 1000);
    // The columns divide the turn: its width is exactly 2 pi times the recorded scale.
    EXPECT_NEAR(2.0 * kPi * o.mapping.scale, pano.cols, 1e-3);
    const double dTheta = 1.0 / o.mapping.scale;
    EXPECT_NEAR(o.thetaMin, -kPi, dTheta);
    EXPECT_NEAR(o.thetaMax, kPi, dTheta);

    // Columns cols - 1 and 0 are neighbours: both covered over the same rows, and no more
    // different from each other than neighbouring columns elsewhere.
    int rowsCoveredMiddle = 0, rowsCoveredLeft = 0, rowsCoveredRight = 0, both = 0;
    double edge = 0, neighbours = 0;
    for (int r = 0; r < pano.rows; ++r) {
        const bool left = test::covered(pano, r, 0), right = test::covered(pano, r, pano.cols - 1);
        rowsCoveredMiddle += test::covered(pano, r, pano.cols / 2);
        rowsCoveredLeft += left;
        rowsCoveredRight += right;
        if (!left || !right) continue;
        ++both;
        for (int k = 0; k < 3; ++k) {
            edge += std::abs(pano.at(r, 0, k) - pano.at(r, pano.cols - 1, k));
            for (int c = 1; c < pano.cols; ++c) neighbours += std::abs(pano.at(r, c, k) - pano.at(r, c - 1, k));
        }
    }
    edge /= 3.0 * both;
    neighbours /= 3.0 * both * (pano.cols - 1);
    std::printf("pano360 %dx%d: rows covered left %d, right %d, middle %d; edge |difference| %.2f, neighbours %.2f\n",
                pano.cols, pano.rows, rowsCoveredLeft, rowsCoveredRight, rowsCoveredMiddle, edge, neighbours);
    ASSERT_GT(rowsCoveredMiddle, 0);
    EXPECT_GT(rowsCoveredLeft, 0.8 * rowsCoveredMiddle);
    EXPECT_GT(rowsCoveredRight, 0.8 * rowsCoveredMiddle);
    ASSERT_GT(both, 0);
    EXPECT_LT(edge, 2.0 * neighbours);
}

TEST_F(FullTurnTest, ImagesAreCutOnlyAtTheSeamAndEveryLongitudeIsCovered) {
    const Stitcher& stitcher = set->stitcher;
    ASSERT_FALSE(stitcher.needsRegistration()) << set->report.message;
    const std::vector<ImageFootprint> footprints = computeFootprints(stitcher.renderScene(), Equirectangular());
    const float step = 2.0f * static_cast<float>(kPi) / 999.0f;  // one output column
    int split = 0;
    for (size_t p = 0; p < footprints.size(); ++p) {
        const auto& regions = footprints[p].regions;
        ASSERT_GE(regions.size(), 1u) << p;
        ASSERT_LE(regions.size(), 2u) << p;
        if (regions.size() == 1) {
            EXPECT_LT(regions[0].thetaMax - regions[0].thetaMin, kPi) << p;  // no cap: no pole in view
            continue;
        }
        // The two pieces of an image split by the seam end at its two sides.
        ++split;
        const float lowMin = std::min(regions[0].thetaMin, regions[1].thetaMin);
        const float highMax = std::max(regions[0].thetaMax, regions[1].thetaMax);
        EXPECT_NEAR(lowMin, -kPi, step) << p;
        EXPECT_NEAR(highMax, kPi, step) << p;
    }
    EXPECT_GE(split, 1);  // a full turn has something straddling the seam
    for (int i = 0; i <= 360; ++i) {
        const float theta = static_cast<float>(-kPi + 2.0 * kPi * i / 360.0);
        EXPECT_TRUE(coverage(footprints, theta, PlaneWrap{-kPi, kPi}).found) << theta;
    }
}

}  // namespace
}  // namespace vantorra
