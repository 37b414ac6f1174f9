#include "features/pyramid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "features/blur.h"
#include "features/extract_features.h"
#include "features/gradients.h"
#include "raster_helpers.h"

namespace vantorra {
namespace {

using testing_support::makeRaster;

class PyramidTest : public ::testing::Test {
protected:
    void TearDown() override { poolRelease(kScratchPool); }
};

TEST_F(PyramidTest, DoublingInterpolatesBetweenSourcePixels) {
    const GreyRaster* source = makeRaster(3, 4, [](int r, int c) { return float(r * 10 + c * c); });
    const GreyRaster* out = doubleRaster(*source);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->rows, doubledSize(3));
    EXPECT_EQ(out->cols, doubledSize(4));
    EXPECT_EQ(out->rows, 4);
    EXPECT_EQ(out->cols, 6);
    auto in = [&](int r, int c) { return source->data[r][c]; };
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(out->data[2 * i][2 * j], in(i, j));
            EXPECT_EQ(out->data[2 * i][2 * j + 1], (in(i, j) + in(i, j + 1)) / 2);
            EXPECT_EQ(out->data[2 * i + 1][2 * j], (in(i, j) + in(i + 1, j)) / 2);
            EXPECT_EQ(out->data[2 * i + 1][2 * j + 1],
                      (in(i, j) + in(i, j + 1) + in(i + 1, j) + in(i + 1, j + 1)) / 4);
        }
    const GreyRaster* line = makeRaster(1, 5, [](int, int) { return 1.0f; });
    const GreyRaster* empty = doubleRaster(*line);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->rows, 0);
}

TEST_F(PyramidTest, ResamplingToTwoThirdsSamplesOneAndAHalfApart) {
    for (const int n : {27, 28, 29, 40, 600}) EXPECT_EQ(resampledSize(n), 2 * n / 3) << n;
    // On a ramp the resampled value is the source position sampled: 1.5 i + 0.25.
    const GreyRaster* rows = makeRaster(30, 20, [](int r, int) { return float(r); });
    const GreyRaster* cols = makeRaster(20, 31, [](int, int c) { return float(c); });
    const GreyRaster* outRows = resampleTwoThirds(*rows);
    const GreyRaster* outCols = resampleTwoThirds(*cols);
    ASSERT_EQ(outRows->rows, 20);
    ASSERT_EQ(outRows->cols, 13);
    ASSERT_EQ(outCols->rows, 13);
    ASSERT_EQ(outCols->cols, 20);
    for (int i = 0; i < 20; ++i) {
        EXPECT_FLOAT_EQ(outRows->data[i][5], 1.5f * i + 0.25f) << i;
        EXPECT_FLOAT_EQ(outCols->data[5][i], 1.5f * i + 0.25f) << i;
    }
}

// Reference blur of one line with edge extension, as an independent check of the buffers.
std::vector<float> blurLine(const std::vector<float>& line, const float* w, int taps) {
    const int n = static_cast<int>(line.size());
    std::vector<float> out(n);
    for (int k = 0; k < n; ++k) {
        float sum = 0.0f;
        for (int t = 0; t < taps; ++t) sum += w[t] * line[std::clamp(k + t - taps / 2, 0, n - 1)];
        out[k] = sum;
    }
    return out;
}

TEST_F(PyramidTest, BlurMatchesTheSeparableReferenceOnWideAndOddSizes) {
    struct Case {
        int rows, cols;
        bool nine;
    };
    // 5000 columns is wider than any fixed row buffer would allow; 13 columns leave a partial strip.
    const Case cases[] = {{9, 5000, true}, {37, 13, false}, {5, 3, true}, {1, 1, false}};
    for (const Case& c : cases) {
        auto value = [](int r, int col) { return float((r * 37 + col * 11) % 23) * 10.0f; };
        GreyRaster* image = makeRaster(c.rows, c.cols, value);
        ASSERT_TRUE(c.nine ? blurNineTaps(*image) : blurSevenTaps(*image));
        const float* w = c.nine ? kInitialBlur : kLevelBlur;
        const int taps = c.nine ? 9 : 7;
        std::vector<std::vector<float>> expected(c.rows);
        for (int r = 0; r < c.rows; ++r) {
            std::vector<float> line(c.cols);
            for (int col = 0; col < c.cols; ++col) line[col] = value(r, col);
            expected[r] = blurLine(line, w, taps);
        }
        for (int col = 0; col < c.cols; ++col) {
            std::vector<float> column(c.rows);
            for (int r = 0; r < c.rows; ++r) column[r] = expected[r][col];
            column = blurLine(column, w, taps);
            for (int r = 0; r < c.rows; ++r) expected[r][col] = column[r];
        }
        for (int r = 0; r < c.rows; ++r)
            for (int col = 0; col < c.cols; ++col)
                ASSERT_EQ(image->data[r][col], expected[r][col]) << c.rows << "x" << c.cols << " at " << r << "," << col;
    }
}

TEST_F(PyramidTest, TableArctangentFollowsAtan2InEveryOctant) {
    for (int k = 0; k < 720; ++k) {
        const double angle = -M_PI + (k + 0.37) * M_PI / 360;
        const float dx = float(50 * std::cos(angle));
        const float dy = float(50 * std::sin(angle));
        const float expected = std::atan2(dy, dx);
        // Table steps of 0.01 in the ratio: at most about 0.006 radians apart.
        EXPECT_NEAR(tableAtan2(dy, dx), expected, 0.0065) << angle;
    }
    EXPECT_EQ(tableAtan2(0.0f, 0.0f), 0.0f);
    EXPECT_FLOAT_EQ(tableAtan2(0.0f, -3.0f), 3.1415927f - 0.005f);
    EXPECT_GT(tableAtan2(0.0f, -3.0f), 0.0f);  // (-pi, pi]: the negative axis is +pi side
    EXPECT_LT(tableAtan2(-1.0f, -3.0f), -2.8f);
}

TEST_F(PyramidTest, GradientsAtOddPositionsPointUpTheImage) {
    // Brightness growing upward (decreasing row) by 2 per row and to the right by 1 per column.
    const GreyRaster* image = makeRaster(9, 11, [](int r, int c) { return float(100 - 2 * r + c); });
    GradientImages g;
    ASSERT_TRUE(allocGradientImages(9, 11, g));
    computeGradients(*image, g);
    for (int r = 1; r <= 7; r += 2)
        for (int c = 1; c <= 9; c += 2) {
            EXPECT_FLOAT_EQ(g.magnitudeAt(r, c), std::sqrt(2.0f * 2 + 4.0f * 4));
            EXPECT_NEAR(g.orientationAt(r, c), std::atan2(4.0f, 2.0f), 0.006);
        }
}

}  // namespace
}  // namespace vantorra
