#include "render/prepared_source.h"
#include "render/warp.h"

#include <gtest/gtest.h>

#include "render/equirectangular.h"
#include "render/samplers.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

const Equirectangular kEquirectangular;

FloatImage ramp(int rows, int cols) {
    FloatImage image(rows, cols, 3);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            for (int k = 0; k < 3; ++k) image.at(r, c, k) = static_cast<float>((r * 7 + c * 13 + k * 5) % 97);
    return image;
}

Matrix centring(int rows, int cols) {
    return testing::cameraLookingAt(0, 0, 100, rows, cols).imageTransform;
}

void expectMatrixEq(const Matrix& a, const Matrix& b) {
    ASSERT_EQ(a.rows, b.rows);
    ASSERT_EQ(a.cols, b.cols);
    for (int r = 0; r < a.rows; ++r)
        for (int c = 0; c < a.cols; ++c) EXPECT_FLOAT_EQ(a.at(r, c), b.at(r, c)) << r << "," << c;
}

TEST(RenderWarp, ReductionMatrixAlignsPixelCentres) {
    const Matrix s = reductionMatrix(-1);
    // Pixels 0 and 1 of the full image straddle pixel 0 of the halved one.
    EXPECT_FLOAT_EQ(s.at(0, 0) * 0 + s.at(0, 2), -0.25f);
    EXPECT_FLOAT_EQ(s.at(0, 0) * 1 + s.at(0, 2), 0.25f);
    const Matrix round = multiply(reductionMatrix(2), reductionMatrix(-2));
    Matrix identity(3, 3);
    identity.setIdentity();
    expectMatrixEq(round, identity);
}

TEST(RenderWarp, BlurOfRadiusZeroIsACopy) {
    const FloatImage image = ramp(9, 11);
    EXPECT_EQ(gaussianBlur(image, 0.16f).data, image.data);
    const FloatImage blurred = gaussianBlur(image, 1.0f);
    EXPECT_NE(blurred.data, image.data);
    EXPECT_EQ(blurred.data, separableFilter(image, gaussianKernel(1.0f, 3), 3).data);
}

class PrepareSource : public ::testing::Test {
protected:
    void SetUp() override {
        testing::buildScene(stitcher, {{0.0f, 0.0f}}, 100, 100, 100);
        stitcher.photographs[0].featureImage = ramp(100, 100);
    }
    PreparedSource prepare(const ImageFootprint& fp) const {
        const RenderScene scene = stitcher.view();
        const SourcePlan plan = planSource(scene.sources, stitcher.options.antiAliasFactor, 0, fp);
        return prepareSource(scene.sources, plan, 0, stitcher.cameras[0], Gains{});
    }
    // The projection of camera 0 with its pixel matrix moved by `transform`.
    Mat3 projectionWith(const Matrix& transform) const {
        Camera camera = stitcher.cameras[0];
        camera.imageTransform = transform;
        return projectionMatrix(camera);
    }
    testing::Scene stitcher;
};

void expectMat3Eq(const Mat3& a, const Mat3& b) {
    for (int e = 0; e < 9; ++e) EXPECT_FLOAT_EQ(a.m[static_cast<size_t>(e)], b.m[static_cast<size_t>(e)]) << e;
}

TEST_F(PrepareSource, CoarserOutputHalvesThenBlurs) {
    ImageFootprint fp;
    fp.firstEdgePixels = 20;  // the output is 5 times coarser than the 100-pixel image
    fp.secondEdgePixels = 20;
    const PreparedSource source = prepare(fp);
    const FloatImage expected =
        gaussianBlur(halfSize(halfSize(stitcher.photographs[0].featureImage)), 0.375f * 5.0f / 4.0f);
    EXPECT_EQ(source.floats.rows, 25);
    EXPECT_EQ(source.floats.data, expected.data);
    expectMat3Eq(source.projection.P, projectionWith(multiply(reductionMatrix(-2), centring(100, 100))));
}

TEST_F(PrepareSource, FinerOutputReadsTheKeptImageItselfWithoutACopy) {
    ImageFootprint fp;
    fp.firstEdgePixels = 150;
    fp.secondEdgePixels = 100;
    const PreparedSource source = prepare(fp);
    EXPECT_EQ(source.kept, &stitcher.photographs[0].featureImage);
    EXPECT_TRUE(source.floats.empty());
    expectMat3Eq(source.projection.P, projectionWith(centring(100, 100)));
}

TEST_F(PrepareSource, ReducedCacheServesOnlyWhileCoarseEnough) {
    stitcher.photographs[0].featureLevel = 2;  // the cache holds the photograph halved twice
    ImageFootprint fp;
    fp.firstEdgePixels = 100;  // one cached pixel per output pixel
    fp.secondEdgePixels = 100;
    const PreparedSource cached = prepare(fp);
    EXPECT_EQ(cached.kept, &stitcher.photographs[0].featureImage);
    expectMat3Eq(cached.projection.P, projectionWith(multiply(reductionMatrix(-2), centring(100, 100))));

    // A finer output needs the file, which does not exist: an empty source with the reason.
    fp.firstEdgePixels = 200;
    fp.secondEdgePixels = 200;
    const PreparedSource missing = prepare(fp);
    EXPECT_TRUE(missing.empty());
    EXPECT_FALSE(missing.error.empty());
}

TEST(RenderWarp, GainsScaleEachChannel) {
    FloatImage image = ramp(3, 4);
    const FloatImage before = image;
    applyGains(image, {0.5f, 1.0f, 2.0f});
    for (size_t i = 0; i < image.data.size(); ++i)
        EXPECT_FLOAT_EQ(image.data[i], before.data[i] * (i % 3 == 0 ? 0.5f : (i % 3 == 1 ? 1.0f : 2.0f)));
}

TEST(RenderSamplers, TentWeightFadesToTheBorder) {
    EXPECT_FLOAT_EQ(tentWeight(4, 5, 9, 11), 1.0f);
    EXPECT_FLOAT_EQ(tentWeight(0, 5, 9, 11), 0.0f);
    EXPECT_FLOAT_EQ(tentWeight(4, 10, 9, 11), 0.0f);
    EXPECT_FLOAT_EQ(tentWeight(2, 5, 9, 11), 0.5f);
    EXPECT_FLOAT_EQ(tentWeight(0, 0, 1, 11), 0.0f);  // a one-row image has no interior
}

// Block pixel (0, 0) on a grid at theta = phi = 0 looks along +z, so P's last column sets the
// source position it samples: (u, v) = (P02, P12) with P22 = 1.
struct OnePixel {
    OnePixel(float u, float v) {
        region.rowFirst = region.rowLast = region.colFirst = region.colLast = 0;
        grid.dTheta = 0.01f;
        grid.dPhi = -0.01f;
        P.P = Mat3::identity();
        P.P(0, 2) = u;
        P.P(1, 2) = v;
    }
    RenderRegion region;
    PanoramaGrid grid;
    PixelProjection P;
};

TEST(RenderSamplers, RoundingAndValidityAtTheSourceBorder) {
    const FloatImage source = ramp(6, 8);
    struct Case {
        float u, v;
        int nearestRow, nearestCol;  // -1: not drawn
        bool bilinearValid;
    };
    const Case cases[] = {
        {-0.4f, 3.0f, 0, 3, false},  // rounds onto row 0, but has no row above for bilinear
        {-0.6f, 3.0f, -1, -1, false},
        {0.0f, 3.2f, 0, 3, true},
        {5.2f, 3.0f, 5, 3, false},  // inside the last row: no row below
        {4.5f, 6.9f, 5, 7, true},
        {2.0f, 7.3f, 2, 7, false},
        {2.0f, 7.6f, -1, -1, false},
    };
    for (const Case& c : cases) {
        const OnePixel px(c.u, c.v);
        FloatImage block(1, 1, 3);
        block.at(0, 0, 0) = -1.0f;
        sampleNearest(block, viewOf(source), px.region, px.grid, kEquirectangular, px.P);
        FloatImage weighted(1, 1, 3), weightSum(1, 1, 1);
        sampleNearestWeighted(weighted, weightSum, viewOf(source), px.region, px.grid, kEquirectangular, px.P);
        if (c.nearestRow < 0) {
            EXPECT_FLOAT_EQ(block.at(0, 0, 0), -1.0f) << c.u << "," << c.v;
            EXPECT_FLOAT_EQ(weightSum.at(0, 0, 0), 0.0f);
        } else {
            for (int k = 0; k < 3; ++k)
                EXPECT_FLOAT_EQ(block.at(0, 0, k), source.at(c.nearestRow, c.nearestCol, k)) << c.u << "," << c.v;
            const float w = tentWeight(c.nearestRow, c.nearestCol, 6, 8);
            EXPECT_FLOAT_EQ(weightSum.at(0, 0, 0), w);
            EXPECT_FLOAT_EQ(weighted.at(0, 0, 1), w * source.at(c.nearestRow, c.nearestCol, 1));
        }
        RenderRegion region = px.region;
        FloatImage maxWeight(1, 1, 1);
        sampleBilinear(region, maxWeight, viewOf(source), px.grid, kEquirectangular, px.P);
        ASSERT_EQ(region.warped.rows, 1);
        EXPECT_EQ(region.weight.at(0, 0, 0) > 0.0f, c.bilinearValid) << c.u << "," << c.v;
        EXPECT_FLOAT_EQ(maxWeight.at(0, 0, 0), region.weight.at(0, 0, 0));
    }
}

// A photograph's uncovered pixels (alpha 0; here column 5) are never drawn: no nearest sample
// lands on one and no bilinear sample touches one, while the rest of the source draws as before.
TEST(RenderSamplers, UncoveredPixelsAreNeverDrawn) {
    const FloatImage source = ramp(6, 8);
    std::vector<uint8_t> cover(6 * 8, 255);
    for (int r = 0; r < 6; ++r) cover[static_cast<size_t>(r) * 8 + 5] = 0;
    SourceView view = viewOf(source);
    view.cover = cover.data();
    struct Case {
        float u, v;
        bool nearest, bilinear;  // drawn
    };
    const Case cases[] = {
        {2.2f, 3.2f, true, true},    // columns 3 and 4
        {2.2f, 4.2f, true, false},   // nearest column 4, but its right neighbour is column 5
        {2.2f, 5.1f, false, false},  // on the uncovered column
        {2.2f, 4.6f, false, false},  // rounds onto it
        {2.2f, 6.2f, true, true},    // beyond it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.u) + "," + std::to_string(c.v));
        const OnePixel px(c.u, c.v);
        FloatImage block(1, 1, 3);
        block.at(0, 0, 0) = -1.0f;
        sampleNearest(block, view, px.region, px.grid, kEquirectangular, px.P);
        EXPECT_EQ(block.at(0, 0, 0) != -1.0f, c.nearest);
        RenderRegion region = px.region;
        FloatImage maxWeight(1, 1, 1);
        sampleBilinear(region, maxWeight, view, px.grid, kEquirectangular, px.P);
        EXPECT_EQ(region.weight.at(0, 0, 0) > 0.0f, c.bilinear);
    }
}

TEST(RenderSamplers, BilinearInterpolatesAndKeepsBorderWeightAboveZero) {
    const FloatImage source = ramp(6, 8);
    const OnePixel px(0.25f, 2.5f);
    RenderRegion region = px.region;
    FloatImage maxWeight(1, 1, 1);
    maxWeight.at(0, 0, 0) = 0.5f;  // a stronger image already owns the pixel
    sampleBilinear(region, maxWeight, viewOf(source), px.grid, kEquirectangular, px.P);
    for (int k = 0; k < 3; ++k) {
        const float expected = 0.75f * 0.5f * source.at(0, 2, k) + 0.75f * 0.5f * source.at(0, 3, k) +
                               0.25f * 0.5f * source.at(1, 2, k) + 0.25f * 0.5f * source.at(1, 3, k);
        EXPECT_NEAR(region.warped.at(0, 0, k), expected, 1e-4);
    }
    EXPECT_FLOAT_EQ(region.weight.at(0, 0, 0), 1e-6f);  // row 0 is on the border
    EXPECT_FLOAT_EQ(maxWeight.at(0, 0, 0), 0.5f);
}

TEST(RenderSamplers, BilinearRunsOfARegionSampleAsSinglePixelsDo) {
    // A region wider than a run of positions, whose positions sweep past every edge of a source
    // of which the view holds only rows 3 to 12, with gains: each pixel is what the same pixel
    // sampled alone gives, and the block's largest weights are each pixel's own.
    const FloatImage whole = ramp(20, 40);
    // Rows 3 to 12 of the source, and a row of other values after them that must never be read.
    FloatImage band(11, 40, 3);
    std::copy(&whole.data[3 * 40 * 3], &whole.data[13 * 40 * 3], band.data.begin());
    std::fill(band.data.begin() + 10 * 40 * 3, band.data.end(), 999.0f);
    SourceView held = viewOf(band);
    held.rowOffset = 3;
    held.rows = 10;
    held.fullRows = 20;
    held.gain = {0.5f, 1.0f, 2.0f};
    PanoramaGrid grid;
    grid.thetaMin = -0.3f;
    grid.dTheta = 0.6f / 300.0f;
    grid.phiMax = 0.2f;
    grid.dPhi = -0.4f / 40.0f;
    PixelProjection P;
    P.P = Mat3::identity();
    P.P(0, 0) = -60.0f;
    P.P(1, 1) = 60.0f;
    P.P(0, 2) = 10.0f;
    P.P(1, 2) = 20.0f;
    RenderRegion region;
    region.rowFirst = 2;
    region.rowLast = 41;
    region.colFirst = 5;
    region.colLast = 304;  // 300 columns: two whole runs and a partial one
    FloatImage maxWeight(45, 310, 1);
    for (float& m : maxWeight.data) m = 0.2f;
    sampleBilinear(region, maxWeight, held, grid, kEquirectangular, P);
    int inside = 0, outside = 0;
    for (int i = region.rowFirst; i <= region.rowLast; ++i)
        for (int j = region.colFirst; j <= region.colLast; ++j) {
            RenderRegion one;
            one.rowFirst = one.rowLast = i;
            one.colFirst = one.colLast = j;
            FloatImage oneMax(45, 310, 1);
            for (float& m : oneMax.data) m = 0.2f;
            sampleBilinear(one, oneMax, held, grid, kEquirectangular, P);
            const int r = i - region.rowFirst, c = j - region.colFirst;
            for (int k = 0; k < 3; ++k) ASSERT_EQ(region.warped.at(r, c, k), one.warped.at(0, 0, k)) << i << "," << j;
            ASSERT_EQ(region.weight.at(r, c, 0), one.weight.at(0, 0, 0)) << i << "," << j;
            ASSERT_EQ(maxWeight.at(i, j, 0), oneMax.at(i, j, 0)) << i << "," << j;
            (one.weight.at(0, 0, 0) > 0.0f ? inside : outside)++;
        }
    EXPECT_GT(inside, 1000);
    EXPECT_GT(outside, 1000);

    // The whole source gives the same where the band holds both rows a pixel reads, and more.
    SourceView all = viewOf(whole);
    all.gain = held.gain;
    RenderRegion everything = region;
    FloatImage allMax(45, 310, 1);
    sampleBilinear(everything, allMax, all, grid, kEquirectangular, P);
    int onlyInWhole = 0;
    for (size_t p = 0; p < region.weight.data.size(); ++p) {
        if (region.weight.data[p] > 0.0f) {
            ASSERT_EQ(everything.weight.data[p], region.weight.data[p]) << p;
            for (int k = 0; k < 3; ++k) ASSERT_EQ(everything.warped.data[3 * p + k], region.warped.data[3 * p + k]) << p;
        } else if (everything.weight.data[p] > 0.0f) {
            ++onlyInWhole;
        }
    }
    EXPECT_GT(onlyInWhole, 500);
}

}  // namespace
}  // namespace vantorra
