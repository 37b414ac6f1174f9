// Rendering through a bent lens: where the image lands, and which of it two cameras share.

#include <gtest/gtest.h>

#include "render/footprint.h"
#include "render/gain_overlap.h"
#include "render/equirectangular.h"

namespace vantorra {
namespace {

constexpr int kRows = 300, kCols = 400;

Camera bentCamera(LensDistortion lens, float turn = 0.0f) {
    Camera camera(rotationFromVector(Vec3{0.05f, turn, 0.02f}).toMatrix(), 350.0f, Matrix(3, 3), lens);
    const float t[9] = {1.0f, 0.0f, (kRows - 1) / 2.0f, 0.0f, 1.0f, (kCols - 1) / 2.0f, 0.0f, 0.0f, 1.0f};
    camera.imageTransform = Matrix::fromRowMajor(t, 3, 3);
    return camera;
}

// Barrel and pincushion lenses move the border's directions outwards and inwards; the footprint
// still holds the direction of every border pixel. (A straight border is held only where its
// corners and midpoints reach, which leaves out slivers of a few ten-thousandths of a radian.)
TEST(LensRender, FootprintHoldsEveryBorderPixelOfABentImage) {
    for (const LensDistortion lens : {LensDistortion{-0.15f, 0.0f}, LensDistortion{0.1f, 0.0f}}) {
        const Camera camera = bentCamera(lens);
        const ImageFootprint footprint = Equirectangular().footprint(camera, kRows, kCols);
        ASSERT_EQ(footprint.regions.size(), 1u);
        const RenderRegion& region = footprint.regions.front();
        auto check = [&](float u, float v) {
            const Vec3 d = rayOf(camera, u, v);
            EXPECT_GE(thetaOf(d), region.thetaMin - 1e-4f) << lens.k1 << " at " << u << "," << v;
            EXPECT_LE(thetaOf(d), region.thetaMax + 1e-4f) << lens.k1 << " at " << u << "," << v;
            EXPECT_GE(phiOf(d), region.phiMin - 1e-4f) << lens.k1 << " at " << u << "," << v;
            EXPECT_LE(phiOf(d), region.phiMax + 1e-4f) << lens.k1 << " at " << u << "," << v;
        };
        for (int r = 0; r < kRows; r += 7) {
            check(static_cast<float>(r), 0.0f);
            check(static_cast<float>(r), kCols - 1.0f);
        }
        for (int c = 0; c < kCols; c += 7) {
            check(0.0f, static_cast<float>(c));
            check(kRows - 1.0f, static_cast<float>(c));
        }
        // The bend shows: a barrel lens sees wider than the same camera without it.
        const ImageFootprint straight = Equirectangular().footprint(bentCamera({}), kRows, kCols);
        const float width = region.thetaMax - region.thetaMin;
        const float straightWidth = straight.regions.front().thetaMax - straight.regions.front().thetaMin;
        if (lens.k1 < 0) EXPECT_GT(width, straightWidth * 1.01f);
        else EXPECT_LT(width, straightWidth * 0.99f);
    }
}

// Two cameras with one lens, turned apart: the overlap box measured through the lens matches
// the one found by carrying each of the second image's corners over by hand.
TEST(LensRender, GainOverlapCarriesCornersThroughBothLenses) {
    const LensDistortion lens{-0.12f, 0.0f};
    const Camera a = bentCamera(lens, 0.0f), b = bentCamera(lens, 0.3f);
    FloatImage image(kRows, kCols, 3);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            for (int k = 0; k < 3; ++k) image.at(r, c, k) = static_cast<float>(c);  // the column, in every channel
    const GainOverlap overlap = measureOverlap(image, 0, a, image, 0, b);
    ASSERT_GT(overlap.count, 0.0f);
    // The box's columns in a, from b's corners carried over by hand.
    const PixelProjection intoA = pixelProjection(a);
    float lo = 1e9f, hi = -1e9f;
    for (const float u : {0.0f, kRows - 1.0f})
        for (const float v : {0.0f, kCols - 1.0f}) {
            float pu, pv;
            projectBent(intoA, rayOf(b, u, v), pu, pv);
            lo = std::min(lo, pv);
            hi = std::max(hi, pv);
        }
    const float first = std::clamp(std::floor(lo), 0.0f, kCols - 1.0f), last = std::clamp(std::ceil(hi), 0.0f, kCols - 1.0f);
    EXPECT_NEAR(overlap.mean[0], 0.5f * (first + last), 0.01f);  // the mean column of the box
    const GainOverlap straight = measureOverlap(image, 0, bentCamera({}, 0.0f), image, 0, bentCamera({}, 0.3f));
    EXPECT_NE(overlap.count, straight.count);  // the lens changes what is shared
}

}  // namespace
}  // namespace vantorra
