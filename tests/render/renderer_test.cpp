#include "render/renderer.h"

#include <gtest/gtest.h>

#include <sstream>

#include <cmath>
#include <string>

#include "render/block_plan.h"
#include "render/compositor_registry.h"
#include "render/projection_registry.h"
#include "support/render_support.h"
#include "render/equirectangular.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

// Two photographs 0.6 rad apart in longitude, overlapping by about a third.
void twoCameraScene(testing::Scene& stitcher) {
    testing::buildScene(stitcher, {{-0.3f, 0.05f}, {0.3f, -0.05f}}, 150, 120, 160);
}

RenderOptions optionsFor(const std::string& method, int width) {
    RenderOptions options;
    options.blendingMethod = method;
    options.width = width;
    return options;
}

Image renderWith(testing::Scene& stitcher, const RenderOptions& options, RenderResult* result = nullptr) {
    Image panorama;
    NullStream quiet;
    const RenderResult rendered = renderScene(stitcher.view(), options, panorama, stitcher.progress, quiet);
    if (result != nullptr) *result = rendered;
    return panorama;
}

TEST(Renderer, OneBlockAndManyBlocksGiveTheSamePanorama) {
    // Seams around differences follow labels found once for the render, the same for any
    // blocks (at one budget: the seam grid depends on it). Multi-band blurs see a block's edge.
    for (const char* method : {"none", "linear"}) {
        testing::Scene stitcher;
        twoCameraScene(stitcher);
        const Image one = renderWith(stitcher, optionsFor(method, 300));
        RenderOptions small = optionsFor(method, 300);
        small.minBlockSize = 16;
        small.maxBlockSize = 32;
        const Image many = renderWith(stitcher, small);
        EXPECT_EQ(one.data, many.data) << "blending method " << method << " with cut seams";
    }
    for (const char* method : {"none", "linear"}) {
        testing::Scene stitcher;
        twoCameraScene(stitcher);
        RenderOptions nearest = optionsFor(method, 300);
        nearest.seam = "none";
        const Image one = renderWith(stitcher, nearest);

        RenderOptions cut = nearest;
        cut.minBlockSize = 16;
        cut.maxBlockSize = 32;
        std::ostringstream captured;
        Image many;
        renderScene(stitcher.view(), cut, many, stitcher.progress, captured, 1);
        const std::string log = captured.str();

        ASSERT_EQ(one.rows, many.rows);
        ASSERT_EQ(one.cols, many.cols);
        EXPECT_GT(one.rows, 16);
        EXPECT_EQ(one.data, many.data) << "blending method " << method;
        // Bands of 16 rows, their columns shared evenly in an even count of blocks.
        const int total = ((one.rows + 15) / 16) * blockCount(one.cols, evenBlockSide(one.cols, 16));
        EXPECT_NE(log.find("Max memory = 1\n Render Block Size = 16\n"), std::string::npos) << log;
        EXPECT_NE(log.find("[ Block " + std::to_string(total) + " of " + std::to_string(total) + " ]\n"),
                  std::string::npos);
        EXPECT_EQ(stitcher.progress.blockIndex, total);
        EXPECT_EQ(stitcher.progress.blockCount, total);
    }
}

TEST(Renderer, EveryCompositorRendersTheKnownTextureWhereCovered) {
    for (const ComponentRow<Compositor>& row : compositors().rows()) {
        const std::string method(row.name);
        SCOPED_TRACE(method);
        testing::Scene stitcher;
        twoCameraScene(stitcher);
        RenderResult result;
        const Image pano = renderWith(stitcher, optionsFor(method, 300), &result);
        ASSERT_EQ(pano.cols, 300);
        ASSERT_EQ(result.width, 300);
        ASSERT_EQ(result.height, pano.rows);
        const float dTheta = (result.thetaMax - result.thetaMin) / (pano.cols - 1);
        const float dPhi = (result.phiMin - result.phiMax) / (pano.rows - 1);
        double errorSum = 0;
        int covered = 0, uncovered = 0, off = 0;
        for (int r = 0; r < pano.rows; ++r)
            for (int c = 0; c < pano.cols; ++c) {
                if (pano.at(r, c, 0) == 0 && pano.at(r, c, 1) == 0 && pano.at(r, c, 2) == 0) {
                    ++uncovered;  // the texture never goes below 27
                    continue;
                }
                const Vec3 d = directionOf(result.thetaMin + c * dTheta, result.phiMax + r * dPhi);
                for (int k = 0; k < 3; ++k) {
                    const float e = std::fabs(pano.at(r, c, k) - testing::textureAt(d.x, d.y, d.z, k));
                    errorSum += e;
                    off += e >= 8.0f;
                }
                ++covered;
            }
        // Two 0.9 rad wide images with a third of overlap fill most of their bounding box; the
        // corners outside the images stay black.
        EXPECT_GT(covered, pano.rows * pano.cols * 3 / 4) << "method " << method;
        EXPECT_GT(uncovered, 0);
        EXPECT_LT(errorSum / (3.0 * covered), 1.5) << "method " << method;
        // Only along a photograph's border may the band-pass layers of multi-band blending miss.
        EXPECT_LT(off, 3 * covered / 100) << "method " << method;
    }
}

TEST(Renderer, ReturnsSizeScaleAndCrop) {
    testing::Scene stitcher;
    twoCameraScene(stitcher);
    RenderResult result;
    const Image pano = renderWith(stitcher, optionsFor("linear", 200), &result);
    EXPECT_EQ(result.width, 200);
    EXPECT_EQ(result.height, pano.rows);
    // Auto crop: from the left edge of image 0 to the right edge of image 1, about 1.55 rad.
    EXPECT_NEAR(result.thetaMin, -0.3f - std::atan(79.5f / 150.0f), 0.01f);
    EXPECT_NEAR(result.thetaMax, 0.3f + std::atan(79.5f / 150.0f), 0.01f);
    // Effective scale: the reference image's edges in output pixels per source pixel.
    const ImageFootprint fp = Equirectangular().footprint(stitcher.cameras[0], 120, 160);
    const float dTheta = (result.thetaMax - result.thetaMin) / 199.0f;
    const float dPhi = (result.phiMax - result.phiMin) / static_cast<float>(pano.rows - 1);
    const float first = std::hypot(fp.firstEdgeTheta / dTheta, fp.firstEdgePhi / dPhi) / 120.0f;
    const float second = std::hypot(fp.secondEdgeTheta / dTheta, fp.secondEdgePhi / dPhi) / 160.0f;
    EXPECT_NEAR(result.scale, std::min(first, second), 1e-4f);
    EXPECT_GT(result.scale, 0.5f);  // about 200 / 1.55 pixels per radian over 0.8 rad of 120 pixels

    // With the effective scale as input, scale mode gives back about the same width.
    RenderOptions byScale = optionsFor("linear", 200);
    byScale.sizeMode = SizeMode::Scale;
    byScale.scale = result.scale;
    RenderResult scaled;
    renderWith(stitcher, byScale, &scaled);
    EXPECT_NEAR(scaled.width, 200, 3);
}

// The options a result reproduces give the same bytes again from the result's cameras, whether
// the first render cropped and sized itself or turned the panorama onto the seam.
TEST(Renderer, OptionsReproducingAResultDrawItAgain) {
    struct Case {
        std::vector<std::pair<float, float>> views;
        SizeMode mode;
    };
    const Case cases[] = {{{{-0.3f, 0.05f}, {0.3f, -0.05f}}, SizeMode::Width},
                          {{{-0.3f, 0.05f}, {0.3f, -0.05f}}, SizeMode::Scale},
                          {{{kPi - 0.3f, 0.0f}, {-kPi + 0.3f, 0.0f}}, SizeMode::Height}};
    for (const Case& c : cases) {
        testing::Scene stitcher;
        testing::buildScene(stitcher, c.views, 150, 120, 160);
        RenderOptions options = optionsFor("multiband", 240);
        options.sizeMode = c.mode;
        options.height = 90;
        options.scale = 0.7f;
        RenderResult first;
        const Image pano = renderWith(stitcher, options, &first);
        ASSERT_TRUE(first.rendered);
        const RenderOptions again = optionsReproducing(options, first);
        EXPECT_FALSE(again.autoCrop);
        stitcher.cameras = first.cameras;
        RenderResult second;
        EXPECT_EQ(renderWith(stitcher, again, &second).data, pano.data) << modeValue(c.mode);
        EXPECT_EQ(second.width, first.width);
        EXPECT_FALSE(second.recentred);
    }
    RenderResult none;
    EXPECT_EQ(optionsReproducing(optionsFor("none", 77), none).width, 77);  // nothing rendered: as given
}

TEST(Renderer, ManualCropIsUsedUnchanged) {
    testing::Scene stitcher;
    twoCameraScene(stitcher);
    RenderOptions options = optionsFor("none", 100);
    options.autoCrop = false;
    options.thetaMin = -2.0f;
    options.thetaMax = 2.0f;
    options.phiMin = -1.0f;
    options.phiMax = 1.0f;
    RenderResult result;
    const Image pano = renderWith(stitcher, options, &result);
    EXPECT_EQ(pano.rows, 50);  // trunc(2 * 99 / 4) + 1
    EXPECT_FLOAT_EQ(result.thetaMin, -2.0f);
    EXPECT_FLOAT_EQ(result.phiMax, 1.0f);
    EXPECT_EQ(pano.at(0, 0, 0), 0);  // outside every image
    EXPECT_GT(pano.at(25, 50, 0) + pano.at(25, 50, 1) + pano.at(25, 50, 2), 0);
}

TEST(Renderer, GapAwayFromTheSeamIsTurnedOntoIt) {
    testing::Scene stitcher;
    // Two images either side of the seam: covered from about 2.3 to -2.3 through pi.
    testing::buildScene(stitcher, {{kPi - 0.3f, 0.0f}, {-kPi + 0.3f, 0.0f}}, 150, 120, 160);
    const RenderOptions options = optionsFor("none", 200);
    Image pano;
    std::ostringstream captured;
    const RenderResult result = renderScene(stitcher.view(), options, pano, captured);
    const std::string log = captured.str();
    EXPECT_EQ(log.rfind("pano is split\nthetaMaxOverlap = ", 0), 0u) << log;
    EXPECT_NE(log.find("thetaMinOverlap = "), std::string::npos);
    EXPECT_NE(log.find("theta middle = "), std::string::npos);
    // The pair now sits in the middle of the longitude range, 1.5 rad wide rather than 2 pi.
    EXPECT_GT(result.thetaMin, -1.0f);
    EXPECT_LT(result.thetaMax, 1.0f);
    EXPECT_TRUE(result.recentred);
    const ImageFootprint fp = Equirectangular().footprint(result.cameras[0], 120, 160);
    EXPECT_EQ(fp.regions.size(), 1u);
    // Column 0 and the last column both show image content, with no split between them.
    EXPECT_GT(pano.at(pano.rows / 2, 0, 0) + pano.at(pano.rows / 2, 0, 1), 0);
    EXPECT_GT(pano.at(pano.rows / 2, pano.cols - 1, 0) + pano.at(pano.rows / 2, pano.cols - 1, 1), 0);
}

// Whatever its plane, a projection that wraps draws a panorama split across its edge in one piece.
TEST(Renderer, EveryWrappingProjectionTurnsAGapOntoItsEdge) {
    for (const ComponentRow<Projection>& row : projections().rows()) {
        const std::optional<PlaneWrap> wrap = row.component->wrap();
        if (!wrap) continue;
        SCOPED_TRACE(std::string(row.name));
        testing::Scene stitcher;
        // Not symmetric about the edge, so that a turn the wrong way round shows.
        testing::buildScene(stitcher, {{kPi - 0.2f, 0.0f}, {-kPi + 0.6f, 0.0f}}, 150, 120, 160);
        RenderOptions options = optionsFor("none", 200);
        options.projection = row.name;
        RenderResult result;
        const Image pano = renderWith(stitcher, options, &result);
        ASSERT_TRUE(result.rendered);
        EXPECT_TRUE(result.recentred);
        for (const Camera& camera : result.cameras)
            EXPECT_EQ(row.component->footprint(camera, 120, 160).regions.size(), 1u);
        EXPECT_LT(result.thetaMax - result.thetaMin, 0.5f * (wrap->last - wrap->first));
        // Turned so that the covered arc sits in the middle of the plane.
        EXPECT_NEAR(result.thetaMin + result.thetaMax, wrap->first + wrap->last, 0.02f);
        EXPECT_GT(pano.at(pano.rows / 2, 0, 0) + pano.at(pano.rows / 2, 0, 1), 0);
        EXPECT_GT(pano.at(pano.rows / 2, pano.cols - 1, 0) + pano.at(pano.rows / 2, pano.cols - 1, 1), 0);
    }
}

TEST(Renderer, FullCircleIsSplitButNotTurned) {
    testing::Scene stitcher;
    std::vector<std::pair<float, float>> views;
    for (int i = 0; i < 8; ++i) views.push_back({-kPi + (i + 0.5f) * kPi / 4, 0.0f});
    testing::buildScene(stitcher, views, 150, 120, 160);
    const Matrix before = stitcher.cameras[3].R;
    const RenderOptions options = optionsFor("none", 400);
    Image pano;
    std::ostringstream captured;
    const RenderResult result = renderScene(stitcher.view(), options, pano, captured);
    const std::string log = captured.str();
    EXPECT_NE(log.find("pano is split"), std::string::npos);
    EXPECT_EQ(log.find("theta middle = "), std::string::npos);
    EXPECT_FALSE(result.recentred);
    ASSERT_GT(result.cameras.size(), 3u);
    EXPECT_EQ(result.cameras[3].R.data, before.data);
    EXPECT_NEAR(result.thetaMax - result.thetaMin, kTwoPi, 1e-3);
}

TEST(Renderer, UnregisteredAndUnreadableImagesAreLeftOut) {
    testing::Scene stitcher;
    testing::buildScene(stitcher, {{-0.3f, 0.0f}, {0.3f, 0.0f}, {0.0f, 0.0f}}, 150, 120, 160);
    stitcher.cameras[2].R = Matrix();  // a camera not registered yet
    const RenderOptions reference = optionsFor("none", 150);
    testing::Scene twoOnly;
    testing::buildScene(twoOnly, {{-0.3f, 0.0f}, {0.3f, 0.0f}}, 150, 120, 160);
    const Image expected = renderWith(twoOnly, reference);
    const RenderOptions options = optionsFor("none", 150);
    EXPECT_EQ(renderWith(stitcher, options).data, expected.data);

    // Image 1 neither cached nor on disk: the render goes on without it.
    stitcher.photographs[1].featureImage.release();
    Image pano;
    std::ostringstream captured;
    renderScene(stitcher.view(), options, pano, captured);
    const std::string log = captured.str();
    EXPECT_NE(log.find("  Image 1 skipped: "), std::string::npos) << log;
    EXPECT_NE(log.find("  Image 0\n"), std::string::npos);
    ASSERT_EQ(pano.cols, 150);
    EXPECT_EQ(pano.at(pano.rows / 2, pano.cols - 1, 0), 0);  // image 1's side stays black
    EXPECT_GT(pano.at(pano.rows / 2, 0, 0) + pano.at(pano.rows / 2, 0, 1), 0);
}

TEST(Renderer, NoneShowsTheLaterImageAndLinearTheOnlyOne) {
    testing::Scene stitcher;
    twoCameraScene(stitcher);
    for (size_t i = 0; i < 2; ++i)
        for (float& v : stitcher.photographs[i].featureImage.data) v = i == 0 ? 50.0f : 200.0f;
    // Wide enough that no source is reduced or blurred; the nearest-centre rule, which leaves
    // each compositor its own.
    RenderOptions none = optionsFor("none", 400);
    none.seam = "none";
    const Image a = renderWith(stitcher, none);
    const int mid = a.rows / 2;
    EXPECT_EQ(a.at(mid, a.cols / 2, 0), 200);  // the overlap: image 1 comes later
    EXPECT_EQ(a.at(mid, 5, 0), 50);
    EXPECT_EQ(a.at(mid, a.cols - 6, 0), 200);

    RenderOptions linear = optionsFor("linear", 400);
    linear.seam = "none";
    const Image b = renderWith(stitcher, linear);
    EXPECT_EQ(b.at(mid, 5, 0), 50);  // one image: its sample unchanged
    const int blended = b.at(mid, b.cols / 2, 0);
    EXPECT_GT(blended, 60);
    EXPECT_LT(blended, 190);
}

TEST(Renderer, GainsBringExposuresTogether) {
    testing::Scene stitcher;
    twoCameraScene(stitcher);
    for (size_t i = 0; i < 2; ++i)
        for (float& v : stitcher.photographs[i].featureImage.data) v = i == 0 ? 80.0f : 160.0f;
    const RenderOptions plain = optionsFor("none", 400);
    const Image before = renderWith(stitcher, plain);
    const int mid = before.rows / 2, left = 5, right = before.cols - 6;
    EXPECT_EQ(before.at(mid, left, 0), 80);
    EXPECT_EQ(before.at(mid, right, 0), 160);
    RenderOptions gained = optionsFor("none", 400);
    gained.gainCompensation = true;
    const Image after = renderWith(stitcher, gained);
    // The darker image is brightened and the brighter one darkened, each by its channel gain.
    EXPECT_GT(after.at(mid, left, 0), 85);
    EXPECT_LT(after.at(mid, right, 0), 155);
    EXPECT_EQ(after.at(mid, left, 0), after.at(mid, left, 2));
}

}  // namespace
}  // namespace vantorra
