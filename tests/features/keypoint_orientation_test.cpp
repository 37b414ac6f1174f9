#include "features/keypoint_orientation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "features/lookup_tables.h"
#include "raster_helpers.h"

namespace vantorra {
namespace {

constexpr float kPi = 3.1415927f;
constexpr float kBinWidth = 6.2831854f / 36;

TEST(OrientationHistogram, SmoothingKeepsTheTotalAndSpreadsSymmetrically) {
    float h[36] = {};
    h[10] = 64.0f;
    smoothHistogram(h);
    float total = 0.0f;
    for (const float v : h) total += v;
    EXPECT_NEAR(total, 64.0f, 1e-4);
    for (int d = 1; d <= 6; ++d) EXPECT_FLOAT_EQ(h[10 - d], h[10 + d]) << d;
    EXPECT_GT(h[10], h[11]);
    EXPECT_EQ(h[17], 0.0f);  // six passes reach six bins
    // The kernel wraps around the circle.
    float w[36] = {};
    w[0] = 4.0f;
    smoothHistogram(w);
    EXPECT_FLOAT_EQ(w[35], w[1]);
    EXPECT_GT(w[35], 0.0f);
}

TEST(OrientationHistogram, PeaksAreInterpolatedInAscendingBinOrder) {
    struct Case {
        const char* name;
        std::initializer_list<std::pair<int, float>> bins;
        std::initializer_list<float> angles;
    };
    const Case cases[] = {
        {"all zero", {}, {}},
        {"symmetric peak", {{8, 5}, {9, 10}, {10, 5}}, {9 * kBinWidth - kPi}},
        {"leaning right", {{19, 2}, {20, 10}, {21, 6}}, {(20 + 1.0f / 6) * kBinWidth - kPi}},
        {"bin 0 leaning left wraps", {{35, 6}, {0, 10}, {1, 2}}, {(-1.0f / 6) * kBinWidth - kPi + 6.2831854f}},
        {"bin 0 exactly", {{35, 5}, {0, 10}, {1, 5}}, {-kPi}},
        {"second below 0.8", {{3, 10}, {20, 7.9f}}, {3 * kBinWidth - kPi}},
        {"second at 0.8", {{3, 10}, {20, 8}}, {3 * kBinWidth - kPi, 20 * kBinWidth - kPi}},
        {"plateau counts once", {{11, 10}, {12, 10}}, {(11 + 0.5f) * kBinWidth - kPi}},
    };
    for (const Case& c : cases) {
        float h[36] = {};
        for (const auto& [bin, value] : c.bins) h[bin] = value;
        float angles[36];
        const int count = histogramPeaks(h, angles);
        ASSERT_EQ(count, static_cast<int>(c.angles.size())) << c.name;
        int k = 0;
        for (const float expected : c.angles) {
            EXPECT_NEAR(angles[k], expected, 1e-5) << c.name;
            EXPECT_GE(angles[k], -kPi) << c.name;
            EXPECT_LT(angles[k], kPi) << c.name;
            ++k;
        }
    }
}

class OrientedFeatures : public ::testing::Test {
protected:
    void TearDown() override {
        poolRelease(kScratchPool);
        poolRelease(kFeaturePool);
    }
};

TEST_F(OrientedFeatures, EqualPeaksGiveTwoFeaturesTheHigherBinFirst) {
    GradientImages g;
    ASSERT_TRUE(allocGradientImages(80, 80, g));
    for (int r = 0; r < 40; ++r)
        for (int c = 0; c < 40; ++c) {
            g.magnitude->data[r][c] = float(1 + (r * c) % 7);
            g.orientation->data[r][c] = float((r + 3 * c) % 13) * 0.4f - 2.4f;
        }
    float h[36] = {};
    h[4] = h[6] = 5.0f;
    h[5] = 10.0f;
    h[22] = h[24] = 5.0f;
    h[23] = 10.0f;
    RefinedKeypoint keypoint;
    keypoint.row = 40.3;
    keypoint.col = 39.6;
    keypoint.sigma = 2.0f;
    keypoint.factor = 2.25f;
    keypoint.contrast = -3.5f;
    bool failed = false;
    Feature sentinel{};
    Feature* head = featuresFromHistogram(h, g, keypoint, &sentinel, failed);
    ASSERT_FALSE(failed);
    ASSERT_NE(head, &sentinel);
    Feature* second = head->next;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->next, &sentinel);
    EXPECT_NEAR(head->orientation, 23 * kBinWidth - kPi, 1e-5);
    EXPECT_NEAR(second->orientation, 5 * kBinWidth - kPi, 1e-5);
    for (const Feature* f : {head, second}) {
        // Level position p maps to (p + 0.5) f - 0.5 in feature-image pixels.
        EXPECT_DOUBLE_EQ(f->row, (40.3 + 0.5) * 2.25 - 0.5);
        EXPECT_DOUBLE_EQ(f->col, (39.6 + 0.5) * 2.25 - 0.5);
        EXPECT_DOUBLE_EQ(f->scale, 4.5);
        EXPECT_FLOAT_EQ(float(f->contrast), -3.5f);
        EXPECT_EQ(f->treeLink, nullptr);
        EXPECT_EQ(f->neighbours, nullptr);
        EXPECT_EQ(f->matchCount, 0);
        ASSERT_NE(f->descriptor, nullptr);
    }
    // Different orientations see the same gradients in different bins.
    int differing = 0;
    for (int k = 0; k < 36; ++k) differing += head->descriptor[k] != second->descriptor[k];
    EXPECT_GT(differing, 0);
}

TEST_F(OrientedFeatures, FlatGradientsGiveNoFeature) {
    GradientImages g;
    ASSERT_TRUE(allocGradientImages(40, 40, g));
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 20; ++c) g.magnitude->data[r][c] = g.orientation->data[r][c] = 0.0f;
    RefinedKeypoint keypoint;
    keypoint.row = 20;
    keypoint.col = 20;
    keypoint.sigma = 1.7f;
    bool failed = false;
    EXPECT_EQ(addOrientedFeatures(g, keypoint, nullptr, failed), nullptr);
    EXPECT_FALSE(failed);
}

TEST_F(OrientedFeatures, DominantDirectionBecomesTheOrientation) {
    GradientImages g;
    ASSERT_TRUE(allocGradientImages(60, 60, g));
    for (int r = 0; r < 30; ++r)
        for (int c = 0; c < 30; ++c) {
            g.magnitude->data[r][c] = 1.0f;
            g.orientation->data[r][c] = 1.2f;
        }
    RefinedKeypoint keypoint;
    keypoint.row = 30;
    keypoint.col = 31;
    keypoint.sigma = 1.7f;
    bool failed = false;
    Feature* f = addOrientedFeatures(g, keypoint, nullptr, failed);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->next, nullptr);
    EXPECT_NEAR(f->orientation, 1.2, 0.02);
}

// The histogram written out sample by sample, each sample worked out and added on its own.
void histogramSampleBySample(const GradientImages& g, const RefinedKeypoint& k, float (&histogram)[36]) {
    std::fill(std::begin(histogram), std::end(histogram), 0.0f);
    fillLookupTables();
    const float* e = expTable();
    const float sigmaW = 2 * k.sigma;
    const int h = static_cast<int>(2.5f * sigmaW);
    testing_support::forOddSamplesAround(g, k, h, [&](int r, int c, float dr, float dc) {
        const float d2 = dr * dr + dc * dc;
        if (!(d2 < static_cast<float>(h * h))) return;
        const float weight = e[std::min(999, static_cast<int>(100 * d2 / (2 * sigmaW * sigmaW)))] * g.magnitudeAt(r, c);
        const float p = (g.orientationAt(r, c) + 3.14159265f + 0.0001f) * 36 / 6.28318531f;
        const int b = static_cast<int>(p);
        const float t = p - b;
        histogram[b % 36] += weight * (1 - t);
        histogram[(b % 36 + 1) % 36] += weight * t;
    });
}

TEST_F(OrientedFeatures, HistogramIsThatOfEverySampleAddedInTurn) {
    // Irregular gradients, angles of exactly pi among them, and keypoints inside, at every border
    // and in the corners at several scales: the bins are bit for bit those of the plain loop.
    GradientImages g;
    ASSERT_TRUE(allocGradientImages(91, 71, g));
    uint32_t state = 4321u;
    auto next = [&] { return (state = state * 1664525u + 1013904223u) >> 8; };
    for (int r = 0; r < g.magnitude->rows; ++r)
        for (int c = 0; c < g.magnitude->cols; ++c) {
            g.magnitude->data[r][c] = static_cast<float>(next() % 1000) / 41.0f;
            g.orientation->data[r][c] = next() % 9 == 0 ? 3.14159265f : static_cast<float>(next() % 6284) / 1000.0f - 3.1416f;
        }
    const double places[][2] = {{45.3, 35.7}, {1.2, 30.0}, {89.6, 20.4}, {40.0, 0.4}, {50.5, 69.9}, {2.0, 2.0}};
    for (const auto& place : places)
        for (const float sigma : {0.8f, 1.7f, 3.9f, 7.5f}) {
            RefinedKeypoint keypoint;
            keypoint.row = place[0];
            keypoint.col = place[1];
            keypoint.sigma = sigma;
            float got[36], expected[36];
            orientationHistogram(g, keypoint, got);
            histogramSampleBySample(g, keypoint, expected);
            for (int k = 0; k < 36; ++k)
                ASSERT_EQ(got[k], expected[k]) << place[0] << "," << place[1] << " sigma " << sigma << " bin " << k;
        }
}

}  // namespace
}  // namespace vantorra
