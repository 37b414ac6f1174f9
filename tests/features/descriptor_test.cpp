#include "features/descriptor.h"

#include <gtest/gtest.h>

#include <cmath>

#include "features/refinement.h"
#include "raster_helpers.h"

namespace vantorra {
namespace {

TEST(DescriptorNormalisation, ClipsLargeValuesAndScalesToBytes) {
    struct Case {
        const char* name;
        float first, second;  // sums[0] and sums[1]; the rest `rest`
        float rest;
        int byte0, byte1, byteRest;
    };
    // Expected bytes follow from the rule: unit length, clip at 0.2, unit length, 512 x, cap 255.
    const Case cases[] = {
        // One value: 1 -> 0.2 -> 1 again -> 512, capped.
        {"single value", 7.0f, 0.0f, 0.0f, 255, 0, 0},
        // All equal: 1/6 each, below the clip: 512/6 = 85.33.
        {"uniform", 2.0f, 2.0f, 2.0f, 85, 85, 85},
        // 3, 4 and zeros: 0.6, 0.8 -> both 0.2 -> 0.7071 each -> 362 capped at 255.
        {"two clipped", 3.0f, 4.0f, 0.0f, 255, 255, 0},
    };
    for (const Case& c : cases) {
        float sums[36];
        for (float& v : sums) v = c.rest;
        sums[0] = c.first;
        sums[1] = c.second;
        uint8_t bytes[36];
        normaliseDescriptor(sums, bytes);
        EXPECT_EQ(bytes[0], c.byte0) << c.name;
        EXPECT_EQ(bytes[1], c.byte1) << c.name;
        for (int k = 2; k < 36; ++k) EXPECT_EQ(bytes[k], c.byteRest) << c.name << " byte " << k;
    }
}

TEST(DescriptorNormalisation, ClippingRaisesTheSmallValuesAfterRenormalising) {
    float sums[36] = {};
    sums[0] = 10.0f;  // dominates: clipped to 0.2
    sums[5] = 1.0f;
    sums[9] = 0.5f;
    uint8_t bytes[36];
    normaliseDescriptor(sums, bytes);
    const float n1 = std::sqrt(100.0f + 1.0f + 0.25f);
    const float a = 0.2f, b = 1.0f / n1, c = 0.5f / n1;
    const float n2 = std::sqrt(a * a + b * b + c * c);
    EXPECT_EQ(bytes[0], std::min(255, int(512 * (a / n2))));
    EXPECT_EQ(bytes[5], int(512 * (b / n2)));
    EXPECT_EQ(bytes[9], int(512 * (c / n2)));
    EXPECT_GT(bytes[5], int(512 * b));  // the small values gained from the clipping
}

TEST(DescriptorNormalisation, AllZeroSumsGiveZeroBytes) {
    float sums[36] = {};
    uint8_t bytes[36];
    for (uint8_t& b : bytes) b = 77;
    normaliseDescriptor(sums, bytes);
    for (int k = 0; k < 36; ++k) EXPECT_EQ(bytes[k], 0) << k;
}

class KeypointGradients : public ::testing::Test {
protected:
    void TearDown() override { poolRelease(kScratchPool); }

    // A 60 x 60 level whose gradients all point the same way with unit magnitude.
    GradientImages uniform(float angle) {
        GradientImages g;
        EXPECT_TRUE(allocGradientImages(60, 60, g));
        for (int r = 0; r < 30; ++r)
            for (int c = 0; c < 30; ++c) {
                g.magnitude->data[r][c] = 1.0f;
                g.orientation->data[r][c] = angle;
            }
        return g;
    }
};

TEST_F(KeypointGradients, DescriptorFollowsTheRelativeOrientation) {
    RefinedKeypoint keypoint;
    keypoint.row = 30.0;
    keypoint.col = 30.0;
    keypoint.sigma = 1.7f;
    // Gradients at angle a seen by a keypoint of orientation a - pi/2 fall in relative bin 1.
    for (const float theta : {0.0f, 1.0f, -2.5f}) {
        const GradientImages g = uniform(theta + 1.5707964f + 0.01f);
        float sums[36];
        descriptorSums(g, keypoint, theta, sums);
        for (int cell = 0; cell < 9; ++cell) {
            EXPECT_GT(sums[cell * 4 + 1], 0.0f) << theta << " cell " << cell;
            EXPECT_GT(sums[cell * 4 + 1], 10 * sums[cell * 4 + 2]) << theta << " cell " << cell;
            EXPECT_EQ(sums[cell * 4 + 0], 0.0f);
            EXPECT_EQ(sums[cell * 4 + 3], 0.0f);
        }
        // The centre cell carries the most weight.
        EXPECT_GT(sums[4 * 4 + 1], sums[0 * 4 + 1]);
    }
}

TEST_F(KeypointGradients, NearTheBorderOnlyInsideSamplesCount) {
    const GradientImages g = uniform(0.3f);
    RefinedKeypoint keypoint;
    keypoint.row = 2.0;
    keypoint.col = 30.0;
    keypoint.sigma = 1.7f;
    float sums[36];
    descriptorSums(g, keypoint, 0.0f, sums);
    uint8_t bytes[36];
    normaliseDescriptor(sums, bytes);
    double norm = 0.0;
    for (const uint8_t b : bytes) norm += double(b) * b;
    EXPECT_GT(norm, 0.0);
    // With orientation 0 grid row 0 lies above the keypoint, mostly outside the level; grid
    // row 2 lies below it, inside.
    for (int gridCol = 0; gridCol < 3; ++gridCol)
        EXPECT_LT(10 * sums[gridCol * 4], sums[(6 + gridCol) * 4]) << gridCol;
}

}  // namespace
}  // namespace vantorra
