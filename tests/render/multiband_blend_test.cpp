#include "render/multiband_blend.h"
#include "render/prepared_source.h"

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/photograph.h"
#include "core/progress_reporter.h"
#include "numerics/camera.h"
#include "numerics/mat3.h"
#include "render/equirectangular.h"
#include "render/nearest_centre_seams.h"
#include "render/samplers.h"
#include "render/warp.h"

namespace vantorra {
namespace {

constexpr int kImageRows = 40;
constexpr int kImageCols = 60;
constexpr float kFocal = 100.0f;
constexpr int kBlockRows = 50;
constexpr int kBlockCols = 130;

// Source k is linear in (row, column), so a bilinear sample equals the ramp at (u, v) itself.
float ramp(int image, int channel, float u, float v) {
    return 10.0f + 2.0f * u + 1.5f * v + 20.0f * channel + 60.0f * image;
}

// Two cameras on the horizon, image 1 turned by 0.35 rad of longitude: on a grid of 0.01 rad per
// pixel they overlap in columns 50..77 of the block; columns 13..49 see image 0 alone.
struct Scene {
    RenderOptions options;
    ProgressReporter progress;
    std::string directory;
    std::vector<Photograph> photographs;
    std::vector<Camera> cameras;
    std::vector<int32_t> component;
    std::vector<ImageFootprint> footprints;
    PanoramaGrid grid{-0.45f, 0.25f, 0.01f, -0.01f, 0, 0};
    std::vector<float> yaw{0.0f, 0.35f};

    explicit Scene(int images) {
        for (int k = 0; k < images; ++k) {
            FloatImage source(kImageRows, kImageCols, 3);
            for (int r = 0; r < kImageRows; ++r)
                for (int c = 0; c < kImageCols; ++c)
                    for (int ch = 0; ch < 3; ++ch)
                        source.at(r, c, ch) = ramp(k, ch, static_cast<float>(r), static_cast<float>(c));
            Photograph photograph{"missing.jpg", {kImageRows, kImageCols, 3}};
            photograph.featureImage = source;
            photographs.push_back(std::move(photograph));
            Camera camera;
            camera.R = rotationX(yaw[k]);
            camera.f = kFocal;
            const float offsets[9] = {1, 0, (kImageRows - 1) / 2.0f, 0, 1, (kImageCols - 1) / 2.0f,
                                      0, 0, 1};
            camera.imageTransform = Matrix::fromRowMajor(offsets, 3, 3);
            cameras.push_back(camera);
            component.push_back(k);

            ImageFootprint footprint;
            footprint.inBlock = true;
            footprint.firstEdgePixels = kImageRows;  // one source pixel per output pixel
            footprint.secondEdgePixels = kImageCols;
            footprint.grid = grid;
            RenderRegion region;
            region.active = true;
            region.rowFirst = 0;
            region.rowLast = kBlockRows - 1;
            region.colFirst = k == 0 ? 0 : 40;  // image 1's region starts inside the block
            region.colLast = kBlockCols - 1;
            footprint.regions.push_back(region);
            footprints.push_back(footprint);
        }
        options.blendingSigma = 1.0f;
    }

    // Source position of block pixel (i, j) in image k, and whether bilinear sampling reaches it.
    bool sourcePosition(int k, int i, int j, float& u, float& v) const {
        const Mat3 P = projectionMatrix(cameras[k]);
        const float theta = grid.thetaMin + static_cast<float>(j) * grid.dTheta;
        const float phi = grid.phiMax + static_cast<float>(i) * grid.dPhi;
        const Vec3 X{-std::sin(phi), std::sin(theta) * std::cos(phi), std::cos(theta) * std::cos(phi)};
        const Vec3 p = P * X;
        u = p.x / p.z;
        v = p.y / p.z;
        return std::floor(u) >= 0 && std::floor(u) + 1 < kImageRows && std::floor(v) >= 0 &&
               std::floor(v) + 1 < kImageCols;
    }

    FloatImage blend(const Gains& gains = {}) {
        FloatImage block;
        std::ostringstream log;
        RenderScene scene;
        scene.cameras = cameras;
        scene.component = component;
        scene.sources = {directory, photographs};
        const std::vector<PreparedSource> sources = prepareSources(options, scene, gains, footprints);
        const Equirectangular projection;
        const NearestCentreSeams seams;
        const RenderContext context{options, scene, gains, progress, projection, seams, sources, nullptr, &log};
        MultiBandBlending().compose(block, context, footprints, kBlockRows, kBlockCols);
        logText = log.str();
        return block;
    }

    std::string logText;
};

TEST(MultibandBlend, PixelSeenByOneImageGetsItsSampleBack) {
    struct Case {
        int images, bands;
        bool edgeFill;
    };
    // Far enough from image 1 (by more than bands x blur radius) that no other mask reaches.
    const Case cases[] = {{1, 1, true}, {1, 2, true}, {1, 3, false}, {2, 2, true}, {2, 3, true},
                          {2, 2, false}};
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << t.images << " images, " << t.bands << " bands, edge fill "
                                        << t.edgeFill);
        Scene scene(t.images);
        scene.options.blendingBands = t.bands;
        scene.options.edgeFillBlur = t.edgeFill;
        const FloatImage block = scene.blend();
        ASSERT_EQ(block.rows, kBlockRows);
        ASSERT_EQ(block.cols, kBlockCols);
        ASSERT_EQ(block.channels, 3);
        const int lastColumn = t.images == 1 ? kBlockCols - 1 : 40;
        int checked = 0;
        for (int i = 0; i < kBlockRows; ++i)
            for (int j = 0; j < lastColumn; ++j) {
                float u, v;
                if (!scene.sourcePosition(0, i, j, u, v)) continue;
                ++checked;
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_NEAR(block.at(i, j, ch), ramp(0, ch, u, v), 0.02f)
                        << "pixel " << i << "," << j << " channel " << ch;
            }
        EXPECT_GT(checked, 800);
    }
}

TEST(MultibandBlend, PixelSeenByNoImageStaysZero) {
    for (const int bands : {1, 2, 4}) {
        SCOPED_TRACE(testing::Message() << bands << " bands");
        Scene scene(2);
        scene.options.blendingBands = bands;
        const FloatImage block = scene.blend();
        int checked = 0;
        for (int i = 0; i < kBlockRows; ++i)
            for (int j = 0; j < kBlockCols; ++j) {
                float u, v;
                if (scene.sourcePosition(0, i, j, u, v) || scene.sourcePosition(1, i, j, u, v))
                    continue;
                ++checked;
                for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(block.at(i, j, ch), 0.0f) << i << "," << j;
            }
        EXPECT_GT(checked, 1000);
    }
}

TEST(MultibandBlend, OneBandIsTheTentWeightedAverage) {
    Scene scene(2);
    scene.options.blendingBands = 1;
    const FloatImage block = scene.blend();
    int overlapping = 0;
    for (int i = 0; i < kBlockRows; ++i)
        for (int j = 0; j < kBlockCols; ++j) {
            float colour[3] = {0, 0, 0};
            float weightSum = 0.0f;
            int seen = 0;
            for (int k = 0; k < 2; ++k) {
                float u, v;
                if (!scene.sourcePosition(k, i, j, u, v)) continue;
                ++seen;
                const float w =
                    tentWeight(static_cast<int>(std::floor(u)), static_cast<int>(std::floor(v)),
                               kImageRows, kImageCols) + 1e-6f;
                for (int ch = 0; ch < 3; ++ch) colour[ch] += w * ramp(k, ch, u, v);
                weightSum += w;
            }
            if (seen == 2) ++overlapping;
            for (int ch = 0; ch < 3; ++ch) {
                const float expected = weightSum > 0 ? colour[ch] / weightSum : 0.0f;
                ASSERT_NEAR(block.at(i, j, ch), expected, 0.05f) << i << "," << j << "," << ch;
            }
        }
    EXPECT_GT(overlapping, 500);
    EXPECT_NE(scene.logText.find("   Band 1\n"), std::string::npos);
    EXPECT_EQ(scene.logText.find("   Band 2\n"), std::string::npos);
}

TEST(MultibandBlend, SeamIsSmoothedButEachSideKeepsItsDetail) {
    // With two bands the winner masks switch detail at the seam while the tent weights spread the
    // low-pass: across the overlap the result moves between the images without a jump.
    Scene scene(2);
    scene.options.blendingBands = 2;
    const FloatImage block = scene.blend();
    const int row = kBlockRows / 2;
    float largestStep = 0.0f;
    for (int j = 20; j < 105; ++j)
        largestStep = std::max(largestStep, std::fabs(block.at(row, j + 1, 0) - block.at(row, j, 0)));
    // A hard paste would jump by about the 60-level offset between the images.
    EXPECT_LT(largestStep, 15.0f);
    EXPECT_GT(largestStep, 0.0f);
}

TEST(MultibandBlend, GainsScaleTheSamplesOnlyWhenCompensationIsOn) {
    const Gains gains = {{1.5f, 0.5f, 2.0f}};
    for (const bool on : {true, false}) {
        SCOPED_TRACE(testing::Message() << "gainCompensation " << on);
        Scene scene(1);
        scene.options.gainCompensation = on;
        const FloatImage block = scene.blend(gains);
        float u, v;
        ASSERT_TRUE(scene.sourcePosition(0, 25, 45, u, v));
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_NEAR(block.at(25, 45, ch), (on ? gains[0][ch] : 1.0f) * ramp(0, ch, u, v), 0.05f);
        // The cached photograph itself is never changed by the gains.
        EXPECT_EQ(scene.photographs[0].featureImage.at(10, 10, 0), ramp(0, 0, 10, 10));
    }
}

TEST(MultibandBlend, UnreadableImageIsLeftToTheOthers) {
    Scene scene(2);
    scene.photographs[1].featureImage.release();  // no cached copy and no file to read
    scene.directory = "/nonexistent-vantorra-test-dir/";
    std::streambuf* savedErr = std::cerr.rdbuf(nullptr);
    const FloatImage block = scene.blend();
    std::cerr.rdbuf(savedErr);
    EXPECT_NE(scene.logText.find("   Image 1 skipped: "), std::string::npos) << scene.logText;
    EXPECT_EQ(scene.logText.find("    Image 1\n"), std::string::npos);
    for (int i = 0; i < kBlockRows; ++i)
        for (int j = 0; j < kBlockCols; ++j) {
            float u, v;
            const bool seen = scene.sourcePosition(0, i, j, u, v);
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_NEAR(block.at(i, j, ch), seen ? ramp(0, ch, u, v) : 0.0f, 0.02f) << i << "," << j;
        }
}

TEST(MultibandBlend, LogsTheStepsInOrder) {
    Scene scene(2);
    scene.options.blendingBands = 2;
    scene.footprints[1].inBlock = false;  // image 1 is not in this block
    scene.blend();
    const std::string expected =
        "  Sample images  \n"
        "   Image 0\n"
        "  Multi-band blending  \n"
        "   Band 1\n"
        "    Image 0\n"
        "   Band 2\n"
        "    Image 0\n";
    EXPECT_EQ(scene.logText, expected);
}

}  // namespace
}  // namespace vantorra
