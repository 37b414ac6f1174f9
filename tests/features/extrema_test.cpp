// The candidate tests of the detector: an extremum of its own level and of the levels above and
// below, ties allowed; and the row form of the own-level test, which must agree with the
// one-pixel form everywhere.

#include "features/extrema.h"

#include <gtest/gtest.h>

#include <vector>

#include "raster_helpers.h"

namespace vantorra {
namespace {

using testing_support::makeRaster;

class ExtremaTest : public ::testing::Test {
protected:
    void TearDown() override { poolRelease(kScratchPool); }
};

TEST_F(ExtremaTest, PeaksAndPitsWithTiesAcrossThreeLevels) {
    // Level sizes follow the pyramid: 30 -> 20 -> 13 (two thirds each time).
    GreyRaster* finer = makeRaster(30, 30, [](int, int) { return 0.0f; });
    GreyRaster* dog = makeRaster(20, 20, [](int, int) { return 0.0f; });
    GreyRaster* coarser = makeRaster(13, 13, [](int, int) { return 0.0f; });
    dog->data[10][10] = 0.5f;
    dog->data[5][5] = -0.5f;
    EXPECT_TRUE(isScaleSpaceExtremum(*finer, *dog, *coarser, 10, 10));
    EXPECT_TRUE(isScaleSpaceExtremum(*finer, *dog, *coarser, 5, 5));
    dog->data[11][9] = 0.5f;  // a tie in its own level is allowed
    EXPECT_TRUE(isScaleSpaceExtremum(*finer, *dog, *coarser, 10, 10));
    dog->data[9][11] = 0.6f;  // a greater neighbour is not
    EXPECT_FALSE(isScaleSpaceExtremum(*finer, *dog, *coarser, 10, 10));
    // The finer level's block around ((3i + 1) / 2, (3j + 1) / 2) = (8, 8) for (5, 5).
    finer->data[9][7] = -0.7f;
    EXPECT_FALSE(isScaleSpaceExtremum(*finer, *dog, *coarser, 5, 5));
    finer->data[9][7] = -0.5f;
    EXPECT_TRUE(isScaleSpaceExtremum(*finer, *dog, *coarser, 5, 5));
    // The coarser level's block around (2i / 3, 2j / 3) = (3, 3) for (5, 5).
    coarser->data[2][4] = -0.51f;
    EXPECT_FALSE(isScaleSpaceExtremum(*finer, *dog, *coarser, 5, 5));
}

TEST_F(ExtremaTest, RowFormAgreesWithThePixelForm) {
    // Few distinct values, so that ties are everywhere; every column of every inner row.
    uint32_t state = 99u;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int>(state >> 28) - 8) * 0.01f;
    };
    GreyRaster* finer = makeRaster(45, 60, [&](int, int) { return next(); });
    GreyRaster* dog = makeRaster(30, 40, [&](int, int) { return next(); });
    GreyRaster* coarser = makeRaster(21, 28, [&](int, int) { return next(); });
    std::vector<float> highest(40), lowest(40);
    int passed = 0, checked = 0;
    // From 3 on, so that the coarser level's block (around 2i / 3) lies inside it.
    for (int i = 3; i <= 19; ++i) {
        neighbourhoodExtremes(*dog, i, 3, 38, highest.data(), lowest.data());
        for (int j = 3; j <= 38; ++j) {
            const float v = dog->data[i][j];
            const bool own = v > 0.0f ? highest[j] <= v : lowest[j] >= v;
            const bool rowForm = own && isExtremumAcrossLevels(*finer, *coarser, i, j, v);
            ASSERT_EQ(rowForm, isScaleSpaceExtremum(*finer, *dog, *coarser, i, j)) << i << "," << j;
            passed += own;
            ++checked;
        }
    }
    EXPECT_GT(passed, 20);
    EXPECT_LT(passed, checked);
}

}  // namespace
}  // namespace vantorra
