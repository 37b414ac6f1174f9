// Sub-pixel alignment of match positions: known shifts, exposure differences and local affine
// shapes are recovered; patches without texture, at the border, or moving too far are refused;
// the decoded grey raster is the feature image's.

#include "matching/position_refinement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "core/image.h"
#include "features/feature_image.h"

namespace vantorra {
namespace {

// A smooth random texture: Gaussian blobs of random sign and size about `width` pixels.
struct Texture {
    std::vector<float> rows, cols, amplitudes;
    float width = 2.5f;
    explicit Texture(uint32_t seed, float blobWidth = 2.5f) : width(blobWidth) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> where(-10.0f, 90.0f), height(-60.0f, 60.0f);
        for (int k = 0; k < 400; ++k) {
            rows.push_back(where(rng));
            cols.push_back(where(rng));
            amplitudes.push_back(height(rng));
        }
    }
    float operator()(float r, float c) const {
        float v = 128.0f;
        for (size_t k = 0; k < rows.size(); ++k) {
            const float dr = r - rows[k], dc = c - cols[k];
            v += amplitudes[k] * std::exp(-(dr * dr + dc * dc) / (2.0f * width * width));
        }
        return v;
    }
};

// Raster whose pixel p shows the texture at a^-1 (p - centre - shift) + centre, times gain plus
// offset: the template at `centre` of the plain texture sits at centre + shift with shape a.
AlignmentRaster render(const Texture& t, const float a[4], float shiftRow, float shiftCol,
                       float gain, float offset) {
    AlignmentRaster r;
    r.rows = r.cols = 80;
    r.grey.resize(80 * 80);
    const float det = a[0] * a[3] - a[1] * a[2];
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) {
            const float dy = static_cast<float>(y) - 40.0f - shiftRow;
            const float dx = static_cast<float>(x) - 40.0f - shiftCol;
            const float sy = (a[3] * dy - a[1] * dx) / det, sx = (-a[2] * dy + a[0] * dx) / det;
            r.grey[static_cast<size_t>(y * 80 + x)] = gain * t(sy + 40.0f, sx + 40.0f) + offset;
        }
    return r;
}

constexpr float kIdentity[4] = {1.0f, 0.0f, 0.0f, 1.0f};
const RefinementLimits kLoose{1.0f, 3.0f};

TEST(PositionRefinementTest, RecoversShiftExposureAndShape) {
    const struct {
        float shiftRow, shiftCol, gain, offset;
        float affine[4];
        float blobWidth, tolerance;
        SearchStart start;
    } cases[] = {
        {0.25f, -0.4f, 1.0f, 0.0f, {1.0f, 0.0f, 0.0f, 1.0f}, 2.5f, 0.03f, SearchStart::Detected},
        {-1.3f, 0.7f, 1.3f, -20.0f, {1.0f, 0.0f, 0.0f, 1.0f}, 2.5f, 0.03f, SearchStart::Detected},
        {0.6f, 0.1f, 0.8f, 15.0f, {1.05f, 0.12f, -0.1f, 0.97f}, 2.5f, 0.03f, SearchStart::Detected},
        {-1.3f, 0.7f, 1.3f, -20.0f, {1.0f, 0.0f, 0.0f, 1.0f}, 2.5f, 0.03f, SearchStart::Predicted},
        {0.6f, 0.1f, 0.8f, 15.0f, {1.05f, 0.12f, -0.1f, 0.97f}, 2.5f, 0.03f, SearchStart::Predicted},
        // Soft: blobs wider than the patch, whose gradients lie mostly along the patch itself.
        // Bilinear samples of so soft a patch put its best fit a little off (0.09 px), but a
        // search from a prediction must get there, not stop half a pixel short near its start.
        {0.3f, -0.5f, 1.0f, 0.0f, {1.0f, 0.0f, 0.0f, 1.0f}, 5.0f, 0.15f, SearchStart::Predicted},
        {-0.8f, 0.4f, 1.2f, -10.0f, {1.03f, 0.05f, -0.04f, 0.98f}, 5.0f, 0.15f, SearchStart::Predicted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.shiftRow << ", " << c.shiftCol << " gain " << c.gain << " blobs "
                                        << c.blobWidth << (c.start == SearchStart::Predicted ? " predicted" : ""));
        const Texture texture(5, c.blobWidth);
        const AlignmentRaster from = render(texture, kIdentity, 0.0f, 0.0f, 1.0f, 0.0f);
        const AlignmentRaster to = render(texture, c.affine, c.shiftRow, c.shiftCol, c.gain, c.offset);
        // The search starts a pixel off, as a feature position would be.
        const Alignment a = alignPatch(from, 40.0f, 40.0f, to, 40.0f + c.shiftRow + 0.7f,
                                       40.0f + c.shiftCol - 0.6f, c.affine, kLoose, c.start);
        ASSERT_TRUE(a.accepted);
        EXPECT_NEAR(a.row, 40.0f + c.shiftRow, c.tolerance);
        EXPECT_NEAR(a.col, 40.0f + c.shiftCol, c.tolerance);
        EXPECT_LT(a.precision, 0.05f);
        EXPECT_NEAR(a.moved, std::hypot(0.7f, 0.6f), c.tolerance + 0.02f);
    }
}

TEST(PositionRefinementTest, RefusesWhatItCannotMeasure) {
    const Texture texture(9);
    const AlignmentRaster textured = render(texture, kIdentity, 0.0f, 0.0f, 1.0f, 0.0f);
    AlignmentRaster flat = textured;
    std::fill(flat.grey.begin(), flat.grey.end(), 100.0f);
    const AlignmentRaster shifted = render(texture, kIdentity, 1.5f, 0.0f, 1.0f, 0.0f);
    // A brightness ramp: a shift only adds a constant, which the exposure match takes out.
    AlignmentRaster ramp = textured;
    // Stripes across a ramp: placed across the stripes, nowhere along them; the target is noisy.
    AlignmentRaster stripes = textured, noisyStripes = textured;
    std::mt19937 rng(4);
    std::normal_distribution<float> noise(0.0f, 0.5f);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) {
            const size_t k = static_cast<size_t>(y * 80 + x);
            ramp.grey[k] = 2.0f * static_cast<float>(y) + 0.5f * static_cast<float>(x);
            stripes.grey[k] = 2.0f * static_cast<float>(y) + 20.0f * std::sin(0.7f * static_cast<float>(x));
            noisyStripes.grey[k] = stripes.grey[k] + noise(rng);
        }
    const struct {
        const char* what;
        const AlignmentRaster* from;
        float row, col;
        const AlignmentRaster* to;
        float startRow, startCol;
        RefinementLimits limits;
    } cases[] = {
        {"flat template", &flat, 40.0f, 40.0f, &textured, 40.0f, 40.0f, kLoose},
        {"flat target", &textured, 40.0f, 40.0f, &flat, 40.0f, 40.0f, kLoose},
        {"template at the border", &textured, 3.0f, 40.0f, &textured, 40.0f, 40.0f, kLoose},
        {"target patch leaves the image", &textured, 40.0f, 40.0f, &textured, 40.0f, 76.5f, kLoose},
        {"moves further than allowed", &textured, 40.0f, 40.0f, &shifted, 40.0f, 40.0f, {1.0f, 1.0f}},
        {"less precise than the features", &textured, 40.0f, 40.0f, &shifted, 40.0f, 40.0f,
         {1e-6f, 3.0f}},
        {"brightness ramp", &ramp, 40.0f, 40.0f, &ramp, 40.3f, 39.8f, kLoose},
        {"stripes on a ramp", &stripes, 40.0f, 40.0f, &noisyStripes, 40.3f, 39.8f, kLoose},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(alignPatch(*c.from, c.row, c.col, *c.to, c.startRow, c.startCol, kIdentity,
                                c.limits)
                         .accepted);
    }
    // The same shift with room to move is found.
    EXPECT_TRUE(alignPatch(textured, 40.0f, 40.0f, shifted, 40.0f, 40.0f, kIdentity, kLoose).accepted);
}

// Rows r0 .. r0 + rows - 1 and columns c0 .. c0 + cols - 1 of `from`.
AlignmentRaster crop(const AlignmentRaster& from, int r0, int c0, int rows, int cols) {
    AlignmentRaster r;
    r.rows = rows;
    r.cols = cols;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) r.grey.push_back(from.at(r0 + y, c0 + x));
    return r;
}

TEST(PositionRefinementTest, APatchNeedsItsLastSampleInsideTheTarget) {
    // The 9 x 9 samples around (4, 4) reach rows and columns 0 .. 8; bilinear sampling at 8 needs
    // a pixel at 9. A target of exactly 10 x 10 pixels holds the patch, one a pixel short on any
    // side does not.
    const AlignmentRaster from = render(Texture(3), kIdentity, 0.0f, 0.0f, 1.0f, 0.0f);
    const AlignmentRaster exact = crop(from, 36, 36, 10, 10);
    const Alignment a = alignPatch(from, 40.0f, 40.0f, exact, 4.0f, 4.0f, kIdentity, kLoose);
    ASSERT_TRUE(a.accepted);
    EXPECT_NEAR(a.row, 4.0f, 1e-3f);
    EXPECT_NEAR(a.col, 4.0f, 1e-3f);
    EXPECT_FALSE(alignPatch(from, 40.0f, 40.0f, crop(from, 36, 36, 10, 9), 4.0f, 4.0f, kIdentity, kLoose).accepted);
    EXPECT_FALSE(alignPatch(from, 40.0f, 40.0f, crop(from, 36, 36, 9, 10), 4.0f, 4.0f, kIdentity, kLoose).accepted);
    EXPECT_FALSE(alignPatch(from, 40.0f, 40.0f, crop(from, 37, 36, 10, 10), 3.0f, 4.0f, kIdentity, kLoose).accepted);
    EXPECT_FALSE(alignPatch(from, 40.0f, 40.0f, crop(from, 36, 37, 10, 10), 4.0f, 3.0f, kIdentity, kLoose).accepted);
    // A search that has run away to no position at all is refused, not sampled.
    EXPECT_FALSE(alignPatch(from, 40.0f, 40.0f, exact, NAN, 4.0f, kIdentity, kLoose).accepted);
}

TEST(PositionRefinementTest, DecodedRasterIsTheFeatureImagesGrey) {
    const std::string path = std::string(VANTORRA_TEST_DATA) + "/features/view_600x400.jpg";
    for (const int level : {0, 1, 2}) {
        SCOPED_TRACE(level);
        FeatureOptions options;
        options.siftMinDim = 400 >> level;  // the feature image is halved `level` times
        const DecodedFeatureImage featureImage = decodeFeatureImage(path, options);
        ASSERT_TRUE(featureImage.ok) << featureImage.error;
        ASSERT_EQ(featureImage.level, level);
        const AlignmentRaster expected = greyRaster(featureImage.image, 1.0f);
        const AlignmentRaster decoded = decodeGreyRaster(path, level);
        ASSERT_EQ(decoded.rows, expected.rows);
        ASSERT_EQ(decoded.cols, expected.cols);
        float worst = 0.0f;
        for (size_t k = 0; k < decoded.grey.size(); ++k)
            worst = std::max(worst, std::abs(decoded.grey[k] - expected.grey[k]));
        EXPECT_LT(worst, 1e-3f);
    }
    std::string error;
    EXPECT_TRUE(decodeGreyRaster("/nonexistent/view.jpg", 0, &error).empty());
    EXPECT_FALSE(error.empty());
}

// The grey of the chosen channels only; no channel of the image chosen means all of them.
TEST(PositionRefinementTest, GreyRasterAveragesTheChosenChannels) {
    FloatImage image(1, 2, 3);
    const float samples[] = {250.0f, 40.0f, 10.0f, 90.0f, 30.0f, 60.0f};
    std::copy(std::begin(samples), std::end(samples), image.data.begin());
    struct Case {
        uint32_t channels;
        float first, second;
    };
    for (const Case c : {Case{~0u, 100.0f, 60.0f}, Case{6u, 25.0f, 45.0f}, Case{1u, 250.0f, 90.0f},
                         Case{8u, 100.0f, 60.0f}, Case{0u, 100.0f, 60.0f}}) {
        const AlignmentRaster r = greyRaster(image, 1.0f, c.channels);
        ASSERT_EQ(r.grey.size(), 2u);
        EXPECT_FLOAT_EQ(r.grey[0], c.first) << c.channels;
        EXPECT_FLOAT_EQ(r.grey[1], c.second) << c.channels;
    }
}

// A brightness plane averaged over blocks stays the same plane in centred positions, whatever the
// remainder of the size: a block is centred where its pixels are.
TEST(PositionRefinementTest, AReducedRasterKeepsItsCentre) {
    struct Case {
        int rows, cols, factor;
        bool empty;
    };
    for (const Case c : {Case{40, 60, 4, false}, Case{42, 61, 4, false}, Case{33, 35, 2, false}, Case{37, 50, 3, false},
                         Case{4, 60, 4, true}, Case{40, 60, 0, true}}) {
        AlignmentRaster r;
        r.rows = c.rows;
        r.cols = c.cols;
        r.scale = 0.5f;
        const float row0 = 0.5f * static_cast<float>(c.rows - 1), col0 = 0.5f * static_cast<float>(c.cols - 1);
        const auto plane = [](float y, float x) { return 0.3f + 0.01f * y - 0.004f * x; };
        for (int y = 0; y < c.rows; ++y)
            for (int x = 0; x < c.cols; ++x)
                r.grey.push_back(plane(static_cast<float>(y) - row0, static_cast<float>(x) - col0));
        const AlignmentRaster reduced = reducedRaster(r, c.factor);
        ASSERT_EQ(reduced.empty(), c.empty) << c.rows << "x" << c.cols << "/" << c.factor;
        if (c.empty) continue;
        EXPECT_EQ(reduced.rows, c.rows / c.factor);
        EXPECT_FLOAT_EQ(reduced.scale, 0.5f / static_cast<float>(c.factor));
        const float f = static_cast<float>(c.factor);
        // Away from the clamped border every block is the plane at its centre.
        for (int k = 1; k + 1 < reduced.rows; ++k)
            for (int l = 1; l + 1 < reduced.cols; ++l)
                EXPECT_NEAR(reduced.at(k, l),
                            plane(f * (static_cast<float>(k) - 0.5f * static_cast<float>(reduced.rows - 1)),
                                  f * (static_cast<float>(l) - 0.5f * static_cast<float>(reduced.cols - 1))),
                            1e-5f);
    }
}

}  // namespace
}  // namespace vantorra
