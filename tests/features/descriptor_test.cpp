#include "features/descriptor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "features/lookup_tables.h"
#include "features/refinement.h"
#include "numerics/angles.h"
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

// The window sums written out sample by sample, each sample worked out and added on its own.
void sumsSampleBySample(const GradientImages& g, const RefinedKeypoint& k, float theta, float (&sums)[36]) {
    std::fill(std::begin(sums), std::end(sums), 0.0f);
    fillLookupTables();
    const float* e = expTable();
    const float cellWidth = 4 * k.sigma;
    const float sinT = std::sin(theta) / cellWidth, cosT = std::cos(theta) / cellWidth;
    const float radius = 1.2f * 4 * 0.5f * cellWidth + 0.5f;
    testing_support::forOddSamplesAround(g, k, static_cast<int>(radius), [&](int r, int c, float dr, float dc) {
        if (!(dr * dr + dc * dc < radius * radius)) return;
        const float x = dc * sinT + dr * cosT, y = dc * cosT - dr * sinT;
        const float u = x + 1, v = y + 1;
        if (!(u > -1 && u < 3 && v > -1 && v < 3)) return;
        const float weight = e[std::min(999, static_cast<int>(100 * 0.3472222f * (x * x + y * y)))] *
                             g.magnitudeAt(r, c);
        float rel = g.orientationAt(r, c) - theta;
        if (rel > kTwoPi) rel -= 6.2831855f;
        if (rel < 0) rel += 6.2831855f;
        // Trilinear spread over the 2 x 2 cells and 2 bins around the sample.
        const float gu = u < 0 ? -1.0f : static_cast<float>(static_cast<int>(u));
        const float gv = v < 0 ? -1.0f : static_cast<float>(static_cast<int>(v));
        const float fu = u - gu, fv = v - gv;
        const float o = rel * 4 / kTwoPi;
        const int b = static_cast<int>(o);
        const float fo = o - b;
        const int b0 = b < 4 ? b : 0, b1 = b == 3 ? 0 : b0 + 1;
        for (int du = 0; du < 2; ++du)
            for (int dv = 0; dv < 2; ++dv) {
                const int gridRow = static_cast<int>(gu) + du, gridCol = static_cast<int>(gv) + dv;
                if (gridRow < 0 || gridRow > 2 || gridCol < 0 || gridCol > 2) continue;
                const float spatial = (du == 0 ? 1 - fu : fu) * (dv == 0 ? 1 - fv : fv);
                float* cell = sums + (gridRow * 3 + gridCol) * 4;
                cell[b0] += weight * spatial * (1 - fo);
                cell[b1] += weight * spatial * fo;
            }
    });
}

TEST_F(KeypointGradients, WindowSumsAreThoseOfEverySampleAddedInTurn) {
    // Irregular gradients, and keypoints inside, at every border and in the corners, of small and
    // large scale and of every orientation: the sums are bit for bit those of the plain loop.
    GradientImages g;
    ASSERT_TRUE(allocGradientImages(91, 71, g));  // odd sizes: the last sampled column is cols - 3
    uint32_t state = 12345u;
    auto next = [&] { return (state = state * 1664525u + 1013904223u) >> 8; };
    for (int r = 0; r < g.magnitude->rows; ++r)
        for (int c = 0; c < g.magnitude->cols; ++c) {
            g.magnitude->data[r][c] = static_cast<float>(next() % 1000) / 37.0f;
            g.orientation->data[r][c] = static_cast<float>(next() % 6284) / 1000.0f - 3.1416f;
            if (next() % 7 == 0) g.orientation->data[r][c] = 0.7f;  // exactly one keypoint's orientation
        }
    const double places[][2] = {{45.3, 35.7}, {1.2, 30.0}, {89.6, 20.4}, {40.0, 0.4}, {50.5, 69.9},
                                {2.0, 2.0}, {88.9, 69.1}, {30.25, 41.75}};
    for (const auto& place : places)
        for (const float sigma : {0.8f, 1.7f, 3.9f, 7.5f})
            for (const float theta : {0.0f, 0.7f, -1.9f, 3.1f, -3.14159f}) {
                RefinedKeypoint keypoint;
                keypoint.row = place[0];
                keypoint.col = place[1];
                keypoint.sigma = sigma;
                float got[36], expected[36];
                descriptorSums(g, keypoint, theta, got);
                sumsSampleBySample(g, keypoint, theta, expected);
                for (int k = 0; k < 36; ++k)
                    ASSERT_EQ(got[k], expected[k]) << place[0] << "," << place[1] << " sigma " << sigma
                                                   << " theta " << theta << " value " << k;
            }
}

}  // namespace
}  // namespace vantorra
