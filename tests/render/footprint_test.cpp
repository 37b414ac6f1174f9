#include "render/footprint.h"

#include <gtest/gtest.h>

#include "render/equirectangular.h"
#include "render/recentre.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

using testing::cameraLookingAt;

TEST(RenderFootprint, RegionsByWhereTheImageLooks) {
    struct Case {
        const char* name;
        float theta, phi;
        size_t regions;
    };
    const Case cases[] = {
        {"ahead", 0.5f, 0.1f, 1},
        {"behind, across the seam", kPi, 0.0f, 2},
        {"straight up", 0.3f, kHalfPi, 1},
        {"straight down", -1.0f, -kHalfPi, 1},
    };
    for (const Case& c : cases) {
        const ImageFootprint fp = Equirectangular().footprint(cameraLookingAt(c.theta, c.phi, 100, 120, 160), 120, 160);
        ASSERT_EQ(fp.regions.size(), c.regions) << c.name;
        for (const RenderRegion& r : fp.regions) {
            EXPECT_LE(r.thetaMin, r.thetaMax) << c.name;
            EXPECT_LE(r.phiMin, r.phiMax) << c.name;
        }
    }
}

TEST(RenderFootprint, ImageAheadSpansItsFieldOfView) {
    const float f = 100;
    const ImageFootprint fp = Equirectangular().footprint(cameraLookingAt(0.5f, 0.0f, f, 121, 161), 121, 161);
    ASSERT_EQ(fp.regions.size(), 1u);
    const RenderRegion& r = fp.regions[0];
    EXPECT_NEAR(r.thetaMin, 0.5f - std::atan(80.0f / f), 1e-4);
    EXPECT_NEAR(r.thetaMax, 0.5f + std::atan(80.0f / f), 1e-4);
    // The top and bottom edges' midpoints reach furthest in latitude; the corners less far.
    EXPECT_NEAR(r.phiMax, std::atan(60.0f / f), 1e-4);
    EXPECT_NEAR(r.phiMin, -r.phiMax, 1e-5);
    // The first edge runs down the left column (phi falls between the corners), the second
    // along the top row (theta grows).
    const float cornerPhi = std::asin(60.0f / std::sqrt(60.0f * 60.0f + 80.0f * 80.0f + f * f));
    EXPECT_NEAR(fp.firstEdgeTheta, 0.0f, 1e-5);
    EXPECT_NEAR(fp.firstEdgePhi, 2 * cornerPhi, 1e-4);
    EXPECT_NEAR(fp.secondEdgeTheta, 2 * std::atan(80.0f / f), 1e-4);
}

TEST(RenderFootprint, PoleImageCoversEveryLongitude) {
    for (const float phi : {kHalfPi, -kHalfPi}) {
        const ImageFootprint fp = Equirectangular().footprint(cameraLookingAt(0.0f, phi, 100, 120, 160), 120, 160);
        ASSERT_EQ(fp.regions.size(), 1u);
        const RenderRegion& r = fp.regions[0];
        EXPECT_FLOAT_EQ(r.thetaMin, -kPi);
        EXPECT_FLOAT_EQ(r.thetaMax, kPi);
        if (phi > 0) {
            EXPECT_FLOAT_EQ(r.phiMax, kHalfPi);
            EXPECT_GT(r.phiMin, 0.0f);
            EXPECT_NEAR(fp.secondEdgePhi, kHalfPi - r.phiMin, 1e-6);
        } else {
            EXPECT_FLOAT_EQ(r.phiMin, -kHalfPi);
            EXPECT_LT(r.phiMax, 0.0f);
            EXPECT_NEAR(fp.secondEdgePhi, r.phiMax + kHalfPi, 1e-6);
        }
        EXPECT_FLOAT_EQ(fp.firstEdgeTheta, kTwoPi);
        EXPECT_FLOAT_EQ(fp.firstEdgePhi, 0.0f);
        EXPECT_FLOAT_EQ(fp.secondEdgeTheta, 0.0f);
    }
}

TEST(RenderFootprint, SeamImageSplitsIntoTwoRegionsAtPlusMinusPi) {
    const float f = 100;
    const ImageFootprint fp = Equirectangular().footprint(cameraLookingAt(kPi - 0.2f, 0.0f, f, 121, 161), 121, 161);
    ASSERT_EQ(fp.regions.size(), 2u);
    EXPECT_FLOAT_EQ(fp.regions[0].thetaMin, -kPi);
    EXPECT_NEAR(fp.regions[0].thetaMax, -kPi - 0.2f + std::atan(0.8f), 1e-4);
    EXPECT_NEAR(fp.regions[1].thetaMin, kPi - 0.2f - std::atan(0.8f), 1e-4);
    EXPECT_FLOAT_EQ(fp.regions[1].thetaMax, kPi);
    // The edge across the seam is measured the short way round.
    EXPECT_NEAR(fp.secondEdgeTheta, 2 * std::atan(0.8f), 1e-4);
}

TEST(RenderFootprint, CoverageJoinsTheRegionsAtALongitude) {
    std::vector<ImageFootprint> fps(2);
    fps[0].regions.resize(1);
    fps[0].regions[0].thetaMin = -1.0f;
    fps[0].regions[0].thetaMax = 0.5f;
    fps[1].regions.resize(2);
    fps[1].regions[0].thetaMin = 0.2f;
    fps[1].regions[0].thetaMax = 1.5f;
    fps[1].regions[1].thetaMin = 2.0f;
    fps[1].regions[1].thetaMax = 3.0f;
    const Coverage both = coverage(fps, 0.3f, PlaneWrap{-kPi, kPi});
    EXPECT_TRUE(both.found);
    EXPECT_FLOAT_EQ(both.thetaMin, -1.0f);
    EXPECT_FLOAT_EQ(both.thetaMax, 1.5f);
    const Coverage edge = coverage(fps, 3.0f, PlaneWrap{-kPi, kPi});  // bounds are inclusive
    EXPECT_TRUE(edge.found);
    EXPECT_FLOAT_EQ(edge.thetaMin, 2.0f);
    const Coverage gap = coverage(fps, 1.7f, PlaneWrap{-kPi, kPi});
    EXPECT_FALSE(gap.found);
    EXPECT_FLOAT_EQ(gap.thetaMin, kPi);
    EXPECT_FLOAT_EQ(gap.thetaMax, -kPi);
}

// A footprint with one region over output columns 10.3 .. 40.7 and rows 5.5 .. 20.2 of a
// 101 x 51 grid of 0.01 rad steps.
ImageFootprint placedExample(PanoramaGrid& grid) {
    grid.thetaMin = -0.5f;
    grid.phiMax = 0.25f;
    grid.dTheta = 0.01f;
    grid.dPhi = -0.01f;
    ImageFootprint fp;
    fp.regions.resize(1);
    RenderRegion& r = fp.regions[0];
    r.thetaMin = -0.5f + 0.103f;
    r.thetaMax = -0.5f + 0.407f;
    r.phiMax = 0.25f - 0.055f;
    r.phiMin = 0.25f - 0.202f;
    fp.firstEdgePhi = 0.3f;
    fp.secondEdgeTheta = 0.4f;
    placeFootprint(fp, grid, 101, 51, 1.0f, 0.5f);
    return fp;
}

TEST(RenderFootprint, PlacementSnapsRegionsInwardOntoPixels) {
    PanoramaGrid grid;
    const ImageFootprint fp = placedExample(grid);
    const RenderRegion& r = fp.regions[0];
    EXPECT_EQ(r.colFirst, 11);
    EXPECT_EQ(r.colLast, 40);
    EXPECT_EQ(r.rowFirst, 6);
    EXPECT_EQ(r.rowLast, 20);
    EXPECT_NEAR(r.thetaMin, grid.thetaMin + 11 * grid.dTheta, 1e-5);
    EXPECT_NEAR(r.thetaMax, grid.thetaMin + 40 * grid.dTheta, 1e-5);
    EXPECT_NEAR(r.phiMax, grid.phiMax + 6 * grid.dPhi, 1e-5);
    EXPECT_NEAR(r.phiMin, grid.phiMax + 20 * grid.dPhi, 1e-5);
    EXPECT_NEAR(fp.firstEdgePixels, 30.0f, 1e-3);
    EXPECT_NEAR(fp.secondEdgePixels, 40.0f, 1e-3);
}

TEST(RenderFootprint, ClipKeepsRegionsMeetingTheBlockInTwoRowsAndColumns) {
    PanoramaGrid grid;
    const ImageFootprint fp = placedExample(grid);  // rows 6..20, columns 11..40
    struct Case {
        int rowStart, rowEnd, colStart, colEnd, margin;
        bool active;
        int rowFirst, rowLast, colFirst, colLast;
    };
    const Case cases[] = {
        {0, 15, 0, 15, 0, true, 6, 15, 11, 15},
        {16, 31, 32, 47, 0, true, 0, 4, 0, 8},
        {0, 15, 40, 55, 0, false, 0, 0, 0, 0},  // only column 40 is shared
        {0, 15, 41, 56, 0, false, 0, 0, 0, 0},
        {0, 15, 41, 56, 2, true, 6, 19, 0, 3},  // both grown: image to column 42, block from 39
        {0, 15, 0, 15, 2, true, 6, 19, 11, 19},
    };
    for (const Case& c : cases) {
        const ImageFootprint clipped =
            clipFootprint(fp, c.rowStart, c.rowEnd, c.colStart, c.colEnd, grid.dTheta, grid.dPhi, c.margin);
        const RenderRegion& r = clipped.regions[0];
        ASSERT_EQ(r.active, c.active) << c.rowStart << "," << c.colStart << " margin " << c.margin;
        EXPECT_EQ(clipped.inBlock, c.active);
        EXPECT_EQ(clipped.grid.rowOffset, c.rowStart - c.margin);
        EXPECT_EQ(clipped.grid.colOffset, c.colStart - c.margin);
        if (!c.active) continue;
        EXPECT_EQ(r.rowFirst, c.rowFirst);
        EXPECT_EQ(r.rowLast, c.rowLast);
        EXPECT_EQ(r.colFirst, c.colFirst);
        EXPECT_EQ(r.colLast, c.colLast);
        // The angles still name the clipped pixels.
        const int left = c.colStart - c.margin, top = c.rowStart - c.margin;
        EXPECT_NEAR(r.thetaMin, grid.thetaMin + (left + r.colFirst) * grid.dTheta, 1e-5);
        EXPECT_NEAR(r.thetaMax, grid.thetaMin + (left + r.colLast) * grid.dTheta, 1e-5);
        EXPECT_NEAR(r.phiMax, grid.phiMax + (top + r.rowFirst) * grid.dPhi, 1e-5);
        EXPECT_NEAR(r.phiMin, grid.phiMax + (top + r.rowLast) * grid.dPhi, 1e-5);
    }
}

}  // namespace
}  // namespace vantorra
