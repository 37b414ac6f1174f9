// The exact formulas of every projection of the table: the two directions undo each other over
// the whole of what a projection draws, known places land where a reader of the recorded mapping
// expects them, and the float paths the samplers take are those formulas rounded.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "render/projection.h"
#include "render/projection_registry.h"

namespace vantorra {
namespace {

constexpr double kDegree = M_PI / 180.0;

Direction directionFromAngles(double theta, double phi) {
    return Direction{-std::sin(phi), std::sin(theta) * std::cos(phi), std::cos(theta) * std::cos(phi)};
}

double angleBetween(const Direction& a, const Direction& b) {
    const double cx = a.y * b.z - a.z * b.y, cy = a.z * b.x - a.x * b.z, cz = a.x * b.y - a.y * b.x;
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), a.x * b.x + a.y * b.y + a.z * b.z);
}

bool inside(const PlaneBounds& b, const PlanePoint& p) {
    return p.u >= b.thetaMin && p.u <= b.thetaMax && p.v >= b.phiMin && p.v <= b.phiMax;
}

TEST(ProjectionFormulas, ForwardAndInverseAgreeOverEveryDrawnPlaceToANanoradian) {
    for (const ComponentRow<Projection>& row : projections().rows()) {
        SCOPED_TRACE(std::string(row.name));
        const Projection& projection = *row.component;
        const PlaneBounds reach = projection.reach();
        int held = 0;
        double worst = 0;
        // From the sphere to the plane and back, a direction every 2.5 degrees (off the grid's
        // own poles and seams by a little, where a projection may hold none).
        for (int i = 0; i <= 72; ++i)
            for (int j = 0; j <= 144; ++j) {
                const Direction d = directionFromAngles((-180.0 + 2.5 * j + 0.1) * kDegree, (-90.0 + 2.5 * i + 0.1) * kDegree);
                PlanePoint p;
                if (!projection.planeOf(d, p) || !inside(reach, p)) continue;
                Direction back;
                ASSERT_TRUE(projection.directionAt(p, back)) << p.u << ", " << p.v;
                worst = std::max(worst, angleBetween(d, back));
                ++held;
            }
        // From the plane to the sphere and back, over the whole reach.
        for (int i = 0; i <= 60; ++i)
            for (int j = 0; j <= 60; ++j) {
                const PlanePoint p{reach.thetaMin + (reach.thetaMax - reach.thetaMin) * j / 60.0,
                                   reach.phiMin + (reach.phiMax - reach.phiMin) * i / 60.0};
                Direction d, again;
                PlanePoint q;
                if (!projection.directionAt(p, d)) continue;
                EXPECT_NEAR(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), 1.0, 1e-12);
                if (!projection.planeOf(d, q)) continue;  // a pole or the back point itself
                ASSERT_TRUE(projection.directionAt(q, again));
                worst = std::max(worst, angleBetween(d, again));
                ++held;
            }
        EXPECT_GT(held, 2000);
        EXPECT_LT(worst, 1e-9);
    }
}

TEST(ProjectionFormulas, KnownPlacesLandWhereTheMappingSays) {
    struct Place {
        const char* projection;
        double thetaDegrees, phiDegrees, u, v;
    };
    const double r2 = std::sqrt(2.0);
    const Place places[] = {
        {"equirectangular", 30, 20, 30 * kDegree, 20 * kDegree},
        {"cylindrical", 30, 45, 30 * kDegree, 1.0},
        {"mercator", -60, 45, -60 * kDegree, 0.881373587019543},
        {"transverse-mercator", 30, 0, 0.549306144334055, 0.0},
        {"transverse-mercator", 0, 40, 0.0, 40 * kDegree},
        {"rectilinear", 45, 0, 1.0, 0.0},
        {"rectilinear", 0, -45, 0.0, -1.0},
        {"stereographic", 90, 0, 2.0, 0.0},
        {"fisheye", 0, 90, 0.0, M_PI / 2},
        {"equisolid", -90, 0, -r2, 0.0},
        {"orthographic", 0, 30, 0.0, 0.5},
        {"orthographic", 90, 0, 1.0, 0.0},
        {"panini", 90, 0, 2.0, 0.0},
        {"panini", 0, 45, 0.0, 1.0},
    };
    for (const Place& place : places) {
        SCOPED_TRACE(std::string(place.projection) + " " + std::to_string(place.thetaDegrees) + ", " +
                     std::to_string(place.phiDegrees));
        const ComponentRow<Projection>* row = projections().find(place.projection);
        ASSERT_NE(row, nullptr);
        PlanePoint p;
        ASSERT_TRUE(row->component->planeOf(
            directionFromAngles(place.thetaDegrees * kDegree, place.phiDegrees * kDegree), p));
        EXPECT_NEAR(p.u, place.u, 1e-12);
        EXPECT_NEAR(p.v, place.v, 1e-12);
    }
}

TEST(ProjectionFormulas, TheSamplersFloatsAreTheFormulasRoundedAndNoneOutsideTheirImage) {
    for (const ComponentRow<Projection>& row : projections().rows()) {
        SCOPED_TRACE(std::string(row.name));
        const Projection& projection = *row.component;
        const PlaneBounds reach = projection.reach();
        int none = 0;
        for (int i = 0; i <= 40; ++i)
            for (int j = 0; j <= 40; ++j) {
                const float u = reach.thetaMin + (reach.thetaMax - reach.thetaMin) * static_cast<float>(j) / 40;
                const float v = reach.phiMin + (reach.phiMax - reach.phiMin) * static_cast<float>(i) / 40;
                const Vec3 f = projection.direction(u, v);
                Direction d, in, out;
                // On the rim of a disc the float and double radii may fall either side of it.
                if (projection.directionAt(PlanePoint{u * (1 - 1e-5), v * (1 - 1e-5)}, in) !=
                    projection.directionAt(PlanePoint{u * (1 + 1e-5), v * (1 + 1e-5)}, out))
                    continue;
                if (!projection.directionAt(PlanePoint{u, v}, d)) {
                    ++none;  // no direction: the zero vector, which no camera sees
                    EXPECT_EQ(f.x * f.x + f.y * f.y + f.z * f.z, 0.0f) << u << ", " << v;
                    continue;
                }
                EXPECT_LT(angleBetween(Direction{f.x, f.y, f.z}, d), 2e-6) << u << ", " << v;
            }
        // Only a disc-shaped image leaves corners of its square reach without a direction: a
        // little more than 1 - pi / 4 of the grid.
        EXPECT_LT(none, 41 * 41 * 3 / 10);
    }
}

}  // namespace
}  // namespace vantorra
