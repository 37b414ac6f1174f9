#include "render/multiband_layers.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "core/thread_pool.h"
#include "render/warp.h"

namespace vantorra {
namespace {

FloatImage patternImage(int rows, int cols, int channels) {
    FloatImage image(rows, cols, channels);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            for (int k = 0; k < channels; ++k)
                image.at(r, c, k) = static_cast<float>((r * 37 + c * 11 + k * 53) % 97) * 2.5f;
    return image;
}

// A region of rows x cols at block position (row0, col0) whose valid pixels are the disk
// that touches all four sides, holding `value` inside and 0 outside.
RenderRegion diskRegion(int size, float value, int row0 = 0, int col0 = 0) {
    RenderRegion region;
    region.active = true;
    region.rowFirst = row0;
    region.rowLast = row0 + size - 1;
    region.colFirst = col0;
    region.colLast = col0 + size - 1;
    region.warped.allocate(size, size, 3);
    region.weight.allocate(size, size, 1);
    const float centre = static_cast<float>(size - 1) / 2.0f;
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c) {
            const float d = std::hypot(r - centre, c - centre);
            if (d > centre + 0.4f) continue;
            region.weight.at(r, c, 0) = 1.0f - d / (centre + 1.0f);
            for (int k = 0; k < 3; ++k) region.warped.at(r, c, k) = value;
        }
    return region;
}

TEST(MultibandLayers, InPlaceBlurMatchesSeparableFilterExactly) {
    struct Case {
        int rows, cols, channels;
        float sigma;
    };
    const Case cases[] = {{17, 23, 3, 2.0f}, {5, 40, 1, 5.0f}, {31, 3, 3, 1.0f},
                          {1, 1, 3, 3.0f},   {8, 8, 3, 0.5f},  {12, 9, 1, 1.7f}};
    BlurBuffers buffers;  // shared on purpose: stale sizes must not leak between images
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << t.rows << "x" << t.cols << "x" << t.channels
                                        << " sigma " << t.sigma);
        const FloatImage source = patternImage(t.rows, t.cols, t.channels);
        const int radius = static_cast<int>(std::floor(3.0f * t.sigma + 0.5f));
        const FloatImage expected = gaussianBlur(source, t.sigma);
        FloatImage image = source;
        blurInPlace(image, gaussianKernel(t.sigma, radius), radius, buffers);
        ASSERT_EQ(image.rows, expected.rows);
        ASSERT_EQ(image.cols, expected.cols);
        ASSERT_EQ(image.data, expected.data);
    }
}

TEST(MultibandLayers, BlurOfRadiusZeroLeavesImageAlone) {
    const FloatImage source = patternImage(6, 7, 3);
    FloatImage image = source;
    BlurBuffers buffers;
    blurInPlace(image, {1.0f}, 0, buffers);
    EXPECT_EQ(image.data, source.data);
}

TEST(MultibandLayers, ValidExtentsPerRowAndColumnWithEmptyLines) {
    RenderRegion region;
    region.weight.allocate(4, 5, 1);
    // Row 0 valid at columns 1..3, row 2 only at column 2, rows 1 and 3 empty; column 0 and 4
    // empty.
    region.weight.at(0, 1, 0) = 0.5f;
    region.weight.at(0, 3, 0) = 1e-6f;
    region.weight.at(2, 2, 0) = 0.2f;
    region.weight.at(1, 2, 0) = -1.0f;  // not above 0: invalid
    computeValidExtents(region);
    EXPECT_EQ(region.rowValidFirst, (std::vector<int>{1, 4, 2, 4}));
    EXPECT_EQ(region.rowValidLast, (std::vector<int>{3, 4, 2, 4}));
    EXPECT_EQ(region.colValidFirst, (std::vector<int>{3, 0, 2, 0, 3}));
    EXPECT_EQ(region.colValidLast, (std::vector<int>{3, 0, 2, 0, 3}));
}

// Rows and columns split over threads find the extents one scan finds: a region with holes,
// several runs per row, NaN weights (which count, as in the blend) and empty lines at both ends.
TEST(MultibandLayers, ValidExtentsAreTheSameWhenSplitOverThreads) {
    RenderRegion region;
    const int rows = 157, cols = 211;
    region.weight.allocate(rows, cols, 1);
    for (int r = 1; r < rows - 3; ++r)
        for (int c = 2; c < cols - 1; ++c) {
            const int h = (r * 7919 + c * 104729) % 23;
            region.weight.at(r, c, 0) = h < 9 ? 0.0f : h == 9 ? -0.5f : h == 10 ? std::nanf("") : 0.01f * h;
        }
    std::vector<int> rowFirst(rows, -1), rowLast(rows, cols - 1), colFirst(cols, -1), colLast(cols, rows - 1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            if (region.weight.at(r, c, 0) <= 0.0f) continue;
            if (rowFirst[r] < 0) rowFirst[r] = c;
            rowLast[r] = c;
            if (colFirst[c] < 0) colFirst[c] = r;
            colLast[c] = r;
        }
    for (int& first : rowFirst)
        if (first < 0) first = cols - 1;
    for (int& first : colFirst)
        if (first < 0) first = rows - 1;
    ThreadPool pool(3);
    for (ThreadPool* p : {static_cast<ThreadPool*>(nullptr), &pool}) {
        computeValidExtents(region, p);
        EXPECT_EQ(region.rowValidFirst, rowFirst);
        EXPECT_EQ(region.rowValidLast, rowLast);
        EXPECT_EQ(region.colValidFirst, colFirst);
        EXPECT_EQ(region.colValidLast, colLast);
    }
}

TEST(MultibandLayers, EdgeFilledBlurKeepsTheBorderBrightWherePlainBlurDarkensIt) {
    RenderRegion region = diskRegion(21, 100.0f);
    computeValidExtents(region);
    const std::vector<float> kernel = gaussianKernel(2.0f, 6);
    BlurBuffers buffers;
    FloatImage filled(3, 3, 3);  // replaced whole
    edgeFilledBlur(region.warped, filled, region, kernel, 6, buffers);
    FloatImage plain = region.warped;
    blurInPlace(plain, kernel, 6, buffers);

    float filledWorst = 0.0f;
    float plainDarkest = 100.0f;
    for (int r = 0; r < 21; ++r)
        for (int c = 0; c < 21; ++c) {
            const bool valid = region.weight.at(r, c, 0) > 0.0f;
            for (int k = 0; k < 3; ++k) {
                if (valid) {
                    filledWorst = std::max(filledWorst, std::fabs(filled.at(r, c, k) - 100.0f));
                    plainDarkest = std::min(plainDarkest, plain.at(r, c, k));
                } else {
                    EXPECT_EQ(filled.at(r, c, k), 0.0f) << r << "," << c;
                }
            }
        }
    EXPECT_LT(filledWorst, 1e-3f);
    EXPECT_LT(plainDarkest, 80.0f);  // the dark surroundings leak into a plain blur
}

TEST(MultibandLayers, AccumulateAndNormaliseGiveTheWeightedMeanAtTheRegionOffset) {
    FloatImage colourSum(3, 4, 3), weightSum(3, 4, 1), block(3, 4, 3);
    RenderRegion region;
    region.rowFirst = 1;
    region.rowLast = 2;
    region.colFirst = 2;
    region.colLast = 3;
    FloatImage a(2, 2, 3), grey(2, 2, 1), w(2, 2, 1);
    for (int p = 0; p < 4; ++p) {
        for (int k = 0; k < 3; ++k) a.data[p * 3 + k] = 10.0f * (k + 1);
        grey.data[p] = 40.0f;
        w.data[p] = p == 3 ? 0.0f : 1.0f + p;
    }
    accumulate(a, w, region, colourSum, weightSum);
    accumulate(grey, w, region, colourSum, weightSum);  // one channel feeds all three
    normaliseInto(block, colourSum, weightSum);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 3; ++k) {
                const bool covered = r >= 1 && c >= 2 && !(r == 2 && c == 3);
                const float expected = covered ? (10.0f * (k + 1) + 40.0f) / 2.0f : 0.0f;
                EXPECT_FLOAT_EQ(block.at(r, c, k), expected) << r << "," << c << "," << k;
            }
}

TEST(MultibandLayers, AccumulateDifferenceAddsTheBandPassLayer) {
    FloatImage colourSum(2, 2, 3), weightSum(2, 2, 1);
    RenderRegion region;
    region.rowFirst = 0;
    region.rowLast = 1;
    region.colFirst = 0;
    region.colLast = 1;
    const FloatImage image = patternImage(2, 2, 3);
    FloatImage low = patternImage(2, 2, 3);
    for (float& s : low.data) s *= 0.25f;
    FloatImage w(2, 2, 1);
    w.data = {0.5f, 0.0f, 2.0f, -1.0f};
    accumulateDifference(image, low, w, region, colourSum, weightSum);
    const FloatImage layer = difference(image, low);
    for (int p = 0; p < 4; ++p) {
        const float weight = std::max(0.0f, w.data[p]);
        EXPECT_FLOAT_EQ(weightSum.data[p], weight);
        for (int k = 0; k < 3; ++k)
            EXPECT_FLOAT_EQ(colourSum.data[p * 3 + k], layer.data[p * 3 + k] * weight);
    }
}

}  // namespace
}  // namespace vantorra
