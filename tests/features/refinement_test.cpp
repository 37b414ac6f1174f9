#include "features/refinement.h"

#include <gtest/gtest.h>

#include <cmath>

#include "raster_helpers.h"

namespace vantorra {
namespace {

TEST(RefinementSolver, SolvesWithPivotingAndRejectsSingularSystems) {
    struct Case {
        const char* name;
        float h[3][3];
        float x[3];  // the solution used to build the right-hand side
        bool solvable;
    };
    const Case cases[] = {
        {"diagonal", {{2, 0, 0}, {0, 4, 0}, {0, 0, -8}}, {1, -0.5f, 0.25f}, true},
        {"zero first pivot", {{0, 1, 2}, {1, 0, 3}, {4, -3, 8}}, {0.5f, 1.0f, -1.0f}, true},
        {"symmetric", {{-3, 0.5f, 0.2f}, {0.5f, -2, 0.1f}, {0.2f, 0.1f, -4}}, {0.3f, -0.2f, 0.1f}, true},
        {"singular", {{1, 2, 3}, {2, 4, 6}, {1, 0, 1}}, {1, 1, 1}, false},
        {"all zero", {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        float rhs[3];
        for (int r = 0; r < 3; ++r) rhs[r] = c.h[r][0] * c.x[0] + c.h[r][1] * c.x[1] + c.h[r][2] * c.x[2];
        float x[3] = {};
        ASSERT_EQ(solveThreeByThree(c.h, rhs, x), c.solvable) << c.name;
        if (!c.solvable) continue;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(x[k], c.x[k], 1e-5) << c.name << " " << k;
    }
}

TEST(RefinementSolver, BilinearInterpolationWeighsTheFourNeighbours) {
    const GreyRaster* level =
        testing_support::makeRaster(4, 4, [](int r, int c) { return float(r * 4 + c * c); });
    EXPECT_FLOAT_EQ(bilinearAt(*level, 1.0f, 2.0f), 8.0f);
    EXPECT_FLOAT_EQ(bilinearAt(*level, 1.5f, 2.0f), 10.0f);
    EXPECT_FLOAT_EQ(bilinearAt(*level, 1.0f, 2.25f), 0.75f * 8 + 0.25f * 13);
    EXPECT_FLOAT_EQ(bilinearAt(*level, 0.5f, 0.5f), (0 + 1 + 4 + 5) / 4.0f);
    poolRelease(kScratchPool);
}

class RefineBlob : public ::testing::Test {
protected:
    void TearDown() override { poolRelease(kScratchPool); }

    // A Gaussian blob of the given amplitude centred at (cr, cc) of a 40 x 40 level; its
    // neighbours hold the same blob at their own scale, weaker by `falloff`.
    static GreyRaster* blob(int size, float scale, double cr, double cc, float amplitude) {
        return testing_support::makeRaster(size, size, [=](int r, int c) {
            const double dr = (r + 0.5) * scale - 0.5 - cr;
            const double dc = (c + 0.5) * scale - 0.5 - cc;
            return float(amplitude * std::exp(-(dr * dr + dc * dc) / 18.0));
        });
    }
};

TEST_F(RefineBlob, FindsTheSubPixelCentreOfABlob) {
    // Level s at 40 x 40; the finer level is 1.5 times larger, the coarser 1.5 times smaller.
    const GreyRaster* finer = blob(60, 1 / 1.5f, 20.3, 19.8, 4.0f);
    const GreyRaster* dog = blob(40, 1.0f, 20.3, 19.8, 6.0f);
    const GreyRaster* coarser = blob(27, 1.5f, 20.3, 19.8, 4.0f);
    RefinedKeypoint keypoint;
    ASSERT_TRUE(refineCandidate(*finer, *dog, *coarser, 20, 20, 2, false, keypoint));
    EXPECT_NEAR(keypoint.row, 20.3, 0.1);
    EXPECT_NEAR(keypoint.col, 19.8, 0.1);
    EXPECT_FLOAT_EQ(keypoint.factor, 2.25f);
    EXPECT_GT(keypoint.contrast, 5.9f);
    EXPECT_NEAR(keypoint.sigma, 1.7f, 0.2f);  // strongest at this level: little scale offset
    ASSERT_TRUE(refineCandidate(*finer, *dog, *coarser, 20, 20, 2, true, keypoint));
    EXPECT_FLOAT_EQ(keypoint.factor, 1.125f);  // the first level was the doubled image
}

TEST_F(RefineBlob, DropsCandidatesThatAreTooWeakOrTooFarOff) {
    const GreyRaster* finer = blob(60, 1 / 1.5f, 20.0, 20.0, 0.01f);
    const GreyRaster* weak = blob(40, 1.0f, 20.0, 20.0, 0.015f);
    const GreyRaster* coarser = blob(27, 1.5f, 20.0, 20.0, 0.01f);
    RefinedKeypoint keypoint;
    EXPECT_FALSE(refineCandidate(*finer, *weak, *coarser, 20, 20, 1, false, keypoint));
    // A candidate two pixels from the true centre would have to move more than 1.5: dropped.
    const GreyRaster* dog = blob(40, 1.0f, 22.2, 20.0, 6.0f);
    const GreyRaster* f2 = blob(60, 1 / 1.5f, 22.2, 20.0, 4.0f);
    const GreyRaster* c2 = blob(27, 1.5f, 22.2, 20.0, 4.0f);
    EXPECT_FALSE(refineCandidate(*f2, *dog, *c2, 20, 20, 1, false, keypoint));
    // Flat neighbourhood: singular system, dropped rather than producing a non-finite position.
    const GreyRaster* flat = testing_support::makeRaster(40, 40, [](int, int) { return 1.0f; });
    const GreyRaster* flatFiner = testing_support::makeRaster(60, 60, [](int, int) { return 1.0f; });
    const GreyRaster* flatCoarser = testing_support::makeRaster(27, 27, [](int, int) { return 1.0f; });
    EXPECT_FALSE(refineCandidate(*flatFiner, *flat, *flatCoarser, 20, 20, 1, false, keypoint));
}

}  // namespace
}  // namespace vantorra
