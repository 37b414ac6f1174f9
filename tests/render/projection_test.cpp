// What every projection of the table must keep: its runs of directions are its directions, its
// positions and directions undo each other, a photograph's footprint holds every ray of its
// border, the crop holds every footprint, and a wrapping plane meets itself at its edge.

#include "render/projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "render/projection_registry.h"
#include "render/photo_border.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

using testing::cameraLookingAt;

bool sameFloats(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

float distance(const Vec3& a, const Vec3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

// Whether plane position (theta, phi) lies in a region of the footprint, within `slack`.
bool covers(const ImageFootprint& footprint, float theta, float phi, float slack) {
    for (const RenderRegion& r : footprint.regions)
        if (theta >= r.thetaMin - slack && theta <= r.thetaMax + slack && phi >= r.phiMin - slack &&
            phi <= r.phiMax + slack)
            return true;
    return false;
}

TEST(Projections, ARunOfDirectionsOrPositionsGivesTheFloatsOfEachPixelsOwn) {
    PanoramaGrid grid{-0.7f, 0.4f, 0.003f, -0.0025f, 7, 13};
    const Mat3 camera = projectionMatrix(cameraLookingAt(0.1f, -0.05f, 400, 300, 500));
    const int firstCol = 5, count = 300;  // two whole runs and part of a third
    for (const ComponentRow<Projection>& row : projections().rows()) {
        SCOPED_TRACE(std::string(row.name));
        const Projection& projection = *row.component;
        ColumnTerms terms;
        projection.columnTerms(grid, firstCol, count, terms);
        struct Run {
            int row, offset, n;
        };
        for (const Run run : {Run{0, 0, kDirectionRun}, Run{3, kDirectionRun, kDirectionRun}, Run{50, 256, 44},
                              Run{9, 7, 5}}) {
            DirectionRun d;
            projection.runDirections(grid, run.row, terms, run.offset, run.n, d);
            const float phi = grid.phiMax + static_cast<float>(grid.rowOffset + run.row) * grid.dPhi;
            for (int t = 0; t < run.n; ++t) {
                const int column = grid.colOffset + firstCol + run.offset + t;
                const Vec3 expected = projection.direction(grid.thetaMin + static_cast<float>(column) * grid.dTheta, phi);
                ASSERT_TRUE(sameFloats(Vec3{d.x[t], d.y[t], d.z[t]}, expected)) << "row " << run.row << " column " << column;
            }
            // A projection's own positions through a camera are those of its directions.
            float u[kDirectionRun], v[kDirectionRun], twoStepU[kDirectionRun], twoStepV[kDirectionRun];
            projection.runPositions(grid, run.row, terms, run.offset, run.n, camera, u, v);
            projection.Projection::runPositions(grid, run.row, terms, run.offset, run.n, camera, twoStepU, twoStepV);
            for (int t = 0; t < run.n; ++t) {
                ASSERT_EQ(u[t], twoStepU[t]) << "row " << run.row << " pixel " << t;
                ASSERT_EQ(v[t], twoStepV[t]) << "row " << run.row << " pixel " << t;
            }
        }
    }
}

TEST(Projections, PositionsAndDirectionsUndoEachOtherAndFootprintsHoldTheirBorders) {
    struct View {
        const char* name;
        float theta, phi;
    };
    const View views[] = {{"ahead", 0.2f, 0.1f}, {"across the seam", kPi - 0.2f, 0.0f}, {"near a pole", 0.0f, 1.45f}};
    for (const ComponentRow<Projection>& row : projections().rows()) {
        const Projection& projection = *row.component;
        for (const View& view : views) {
            SCOPED_TRACE(std::string(row.name) + ", " + view.name);
            const Camera camera = cameraLookingAt(view.theta, view.phi, 150, 120, 160);
            const ImageFootprint footprint = projection.footprint(camera, 120, 160);
            // A photograph beyond what the projection draws is cut (the crop tests say how); every
            // projection draws the one ahead whole, one that holds the whole sphere all three.
            if (footprint.cut && &view != &views[0]) continue;
            EXPECT_FALSE(footprint.cut);
            ASSERT_FALSE(footprint.regions.empty());
            const BorderRays border = borderRays(camera, 120, 160);
            for (const Vec3& ray : border.points) {
                float theta = 0, phi = 0;
                ASSERT_TRUE(projection.position(ray, theta, phi));
                EXPECT_TRUE(covers(footprint, theta, phi, 1e-4f)) << theta << ", " << phi;
                EXPECT_LT(distance(projection.direction(theta, phi), ray), 1e-5f);
            }
            for (const RenderRegion& r : footprint.regions)
                for (int i = 0; i <= 4; ++i)
                    for (int j = 0; j <= 4; ++j) {
                        const float theta = r.thetaMin + (r.thetaMax - r.thetaMin) * static_cast<float>(j) / 4;
                        const float phi = r.phiMin + (r.phiMax - r.phiMin) * static_cast<float>(i) / 4;
                        const Vec3 d = projection.direction(theta, phi);
                        Direction exact;
                        if (!projection.directionAt(PlanePoint{theta, phi}, exact)) continue;  // off a disc
                        EXPECT_NEAR(std::hypot(d.x, d.y, d.z), 1.0f, 1e-6f);
                        float backTheta = 0, backPhi = 0;
                        ASSERT_TRUE(projection.position(d, backTheta, backPhi));
                        // The same direction, whichever of a wrap's two edges it is named by.
                        EXPECT_LT(distance(projection.direction(backTheta, backPhi), d), 1e-5f) << theta << ", " << phi;
                    }
        }
    }
}

TEST(Projections, TheCropHoldsEveryRegionAndAWrappingPlaneMeetsItselfAtItsEdge) {
    for (const ComponentRow<Projection>& row : projections().rows()) {
        SCOPED_TRACE(std::string(row.name));
        const Projection& projection = *row.component;
        std::vector<ImageFootprint> footprints;
        EXPECT_GT(projection.bounds(footprints).thetaMin, projection.bounds(footprints).thetaMax);  // nothing covered
        for (const float theta : {-0.8f, 0.1f, 0.9f})
            footprints.push_back(projection.footprint(cameraLookingAt(theta, 0.3f * theta, 150, 120, 160), 120, 160));
        footprints.emplace_back();  // a photograph that cannot be drawn
        const PlaneBounds b = projection.bounds(footprints);
        for (const ImageFootprint& footprint : footprints)
            for (const RenderRegion& r : footprint.regions) {
                EXPECT_LE(b.thetaMin, r.thetaMin);
                EXPECT_GE(b.thetaMax, r.thetaMax);
                EXPECT_LE(b.phiMin, r.phiMin);
                EXPECT_GE(b.phiMax, r.phiMax);
            }
        if (const std::optional<PlaneWrap> wrap = projection.wrap()) {
            EXPECT_LT(wrap->first, wrap->last);
            for (const float phi : {-0.5f, 0.0f, 0.7f})
                EXPECT_LT(distance(projection.direction(wrap->first, phi), projection.direction(wrap->last, phi)), 1e-6f);
        }
    }
}

}  // namespace
}  // namespace vantorra
