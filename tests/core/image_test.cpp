#include "core/image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace vantorra {
namespace {

// A deterministic, non-symmetric pattern so that a swapped index shows up as a wrong value.
FloatImage patterned(int rows, int cols, int channels) {
    FloatImage image(rows, cols, channels);
    uint32_t state = 12345u + static_cast<uint32_t>(rows * 131 + cols * 17 + channels);
    for (float& v : image.data) {
        state = state * 1103515245u + 12345u;
        v = static_cast<float>((state >> 16) % 2560) / 10.0f;
    }
    return image;
}

// The definition of convolveRows written out pixel by pixel.
float referenceTap(const FloatImage& source, const std::vector<float>& kernel, int radius, int r,
                   int c, int k) {
    float sum = 0.0f;
    for (int t = 0; t <= 2 * radius; ++t) {
        int column = c + t - radius;
        if (column < 0) column = 0;
        if (column >= source.cols) column = source.cols - 1;
        sum += kernel[2 * radius - t] * source.at(r, column, k);
    }
    return sum;
}

TEST(ImageTest, HalfSizeAveragesBlocksAndDropsOddEdges) {
    FloatImage source = patterned(5, 7, 3);
    // The dropped last row and column get values that would show in any average they entered.
    for (int c = 0; c < 7; ++c)
        for (int k = 0; k < 3; ++k) source.at(4, c, k) = 1e6f;
    for (int r = 0; r < 5; ++r)
        for (int k = 0; k < 3; ++k) source.at(r, 6, k) = 1e6f;

    const FloatImage half = halfSize(source);
    ASSERT_EQ(half.rows, 2);
    ASSERT_EQ(half.cols, 3);
    ASSERT_EQ(half.channels, 3);
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k) {
                const float expected = 0.25f * (source.at(2 * r, 2 * c, k) + source.at(2 * r, 2 * c + 1, k) +
                                                source.at(2 * r + 1, 2 * c, k) +
                                                source.at(2 * r + 1, 2 * c + 1, k));
                EXPECT_FLOAT_EQ(half.at(r, c, k), expected) << r << "," << c << "," << k;
            }
        }
    }
    EXPECT_TRUE(halfSize(FloatImage(1, 9, 3)).empty());
}

TEST(ImageTest, GaussianKernelIsNormalisedSymmetricAndShaped) {
    const std::vector<float> single = gaussianKernel(2.0f, 0);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0], 1.0f);

    for (const float sigma : {0.7f, 1.6f, 4.0f}) {
        const int radius = 4;
        const std::vector<float> kernel = gaussianKernel(sigma, radius);
        ASSERT_EQ(kernel.size(), 9u);
        float sum = 0.0f;
        for (const float k : kernel) sum += k;
        EXPECT_NEAR(sum, 1.0f, 1e-5f);
        for (int i = 1; i <= radius; ++i) {
            EXPECT_EQ(kernel[radius - i], kernel[radius + i]);
            EXPECT_LT(kernel[radius + i], kernel[radius + i - 1]);
            const float ratio = std::exp(-0.5f * i * i / (sigma * sigma));
            EXPECT_NEAR(kernel[radius + i] / kernel[radius], ratio, 1e-5f * ratio + 1e-12f);
        }
    }
}

TEST(ImageTest, ConvolveRowsIdentityAndShiftKernels) {
    const FloatImage source = patterned(2, 5, 2);
    struct Case {
        std::vector<float> kernel;
        int offset;  // output column c takes source column c + offset, clamped to the row
    };
    const Case cases[] = {{{0, 1, 0}, 0}, {{1, 0, 0}, 1}, {{0, 0, 1}, -1}};
    for (const Case& test : cases) {
        const FloatImage out = convolveRows(source, test.kernel, 1);
        ASSERT_EQ(out.rows, 2);
        ASSERT_EQ(out.cols, 5);
        for (int r = 0; r < 2; ++r) {
            for (int c = 0; c < 5; ++c) {
                int from = c + test.offset;
                from = from < 0 ? 0 : (from > 4 ? 4 : from);
                for (int k = 0; k < 2; ++k) {
                    EXPECT_EQ(out.at(r, c, k), source.at(r, from, k)) << "offset " << test.offset;
                }
            }
        }
    }
}

TEST(ImageTest, ConvolveRowsMatchesDefinitionWithAsymmetricKernel) {
    const std::vector<float> kernel = {0.05f, 0.3f, 0.1f, 0.4f, 0.15f};
    for (const int cols : {1, 2, 7}) {
        const FloatImage source = patterned(3, cols, 3);
        const FloatImage out = convolveRows(source, kernel, 2);
        ASSERT_EQ(out.cols, cols);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < cols; ++c)
                for (int k = 0; k < 3; ++k)
                    EXPECT_EQ(out.at(r, c, k), referenceTap(source, kernel, 2, r, c, k));
    }
    EXPECT_TRUE(convolveRows(patterned(3, 4, 1), {1.0f, 0.0f}, 1).empty());
}

TEST(ImageTest, SeparableFilterEqualsRowsThenColumnsThroughTranspose) {
    const std::vector<float> kernel = {0.1f, 0.2f, 0.45f, 0.05f, 0.2f};
    const FloatImage source = patterned(6, 9, 3);
    const FloatImage filtered = separableFilter(source, kernel, 2);
    const FloatImage expected =
        transpose(convolveRows(transpose(convolveRows(source, kernel, 2)), kernel, 2));
    ASSERT_EQ(filtered.rows, 6);
    ASSERT_EQ(filtered.cols, 9);
    EXPECT_EQ(filtered.data, expected.data);

    // Images taller than the kernel keep only a window of row-pass rows; shorter ones (down to a
    // single row) clamp every tap into the few rows they have. All give the two-pass floats.
    const std::vector<float> wide = gaussianKernel(1.5f, 4);
    for (const int rows : {1, 2, 8, 9, 10, 23}) {
        const FloatImage tall = patterned(rows, 5, 2);
        const FloatImage twoPasses = transpose(convolveRows(transpose(convolveRows(tall, wide, 4)), wide, 4));
        EXPECT_EQ(separableFilter(tall, wide, 4).data, twoPasses.data) << rows << " rows";
    }

    // A normalised kernel leaves a flat image flat, edges included.
    FloatImage flat(4, 3, 1);
    for (float& v : flat.data) v = 42.0f;
    for (const float v : separableFilter(flat, gaussianKernel(1.0f, 3), 3).data) EXPECT_NEAR(v, 42.0f, 1e-4f);
}

TEST(ImageTest, TransposeAndDifference) {
    const FloatImage a = patterned(3, 40, 3);  // wider than one tile
    const FloatImage t = transpose(a);
    ASSERT_EQ(t.rows, 40);
    ASSERT_EQ(t.cols, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 40; ++c)
            for (int k = 0; k < 3; ++k) EXPECT_EQ(t.at(c, r, k), a.at(r, c, k));

    FloatImage shifted = a;
    for (float& v : shifted.data) v += 2.5f;
    const FloatImage d = difference(shifted, a);
    ASSERT_EQ(d.sampleCount(), a.sampleCount());
    for (const float v : d.data) EXPECT_NEAR(v, 2.5f, 1e-4f);
    EXPECT_TRUE(difference(a, t).empty());
}

TEST(ImageTest, ClampTo255) {
    FloatImage image(1, 5, 1);
    image.data = {-3.0f, 300.0f, 100.0f, 255.0f, 0.0f};
    image.clampTo255();
    EXPECT_EQ(image.data, (FloatSamples{0.0f, 255.0f, 100.0f, 255.0f, 0.0f}));
}

TEST(ImageTest, PasteFromTruncatesAndHonoursBounds) {
    FloatImage source(3, 3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) source.at(r, c, k) = 10.0f * r + c + 0.9f + 0.01f * k;

    Image target;
    target.allocate(4, 4, 3);
    target.pasteFrom(1, 2, source, 0, 1, 1, 2);  // rows 0-1, columns 1-2 of the source
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const bool inside = r >= 1 && r <= 2 && c >= 2;
            const int expected = inside ? 10 * (r - 1) + (c - 1) : 0;
            EXPECT_EQ(target.at(r, c, 0), expected) << r << "," << c;
        }
    }

    Image untouched;
    untouched.allocate(2, 2, 3);
    untouched.pasteFrom(0, 0, source, 2, 0, 1, 2);  // r1 < r0
    for (const uint8_t v : untouched.data) EXPECT_EQ(v, 0);

    // A block reaching past the target is clipped, not written out of bounds.
    Image small;
    small.allocate(2, 2, 3);
    small.pasteFrom(1, 1, source, 0, 0, 2, 2);
    EXPECT_EQ(small.at(1, 1, 0), 0);
    EXPECT_EQ(small.at(0, 0, 0), 0);
}

TEST(ImageTest, AllocateRefusesTooManySamples) {
    struct Case {
        int rows, cols, channels;
        bool accepted;
    };
    const Case cases[] = {
        {2, 3, 3, true},       {0, 0, 0, true},           {1 << 15, 1 << 15, 1, false},
        {1 << 14, 1 << 14, 4, false}, {65536, 65536, 3, false}, {-1, 4, 3, false},
    };
    for (const Case& test : cases) {
        FloatImage image(1, 1, 1);
        EXPECT_EQ(image.allocate(test.rows, test.cols, test.channels), test.accepted)
            << test.rows << "x" << test.cols << "x" << test.channels;
        if (test.accepted) {
            EXPECT_EQ(image.sampleCount(), static_cast<size_t>(test.rows) * test.cols * test.channels);
            for (const float v : image.data) EXPECT_EQ(v, 0.0f);
        } else {
            EXPECT_TRUE(image.empty());
            EXPECT_EQ(image.rows, 0);
            EXPECT_EQ(image.cols, 0);
        }
    }
    Image bytes;
    bytes.allocate(2, 3, 3);
    EXPECT_EQ(bytes.data.size(), 18u);
    bytes.clear();
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(bytes.rows, 0);
}

}  // namespace
}  // namespace vantorra
