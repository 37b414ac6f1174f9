#include "numerics/lens_distortion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "numerics/camera.h"

namespace vantorra {
namespace {

constexpr float kFocal = 800.0f;

// Seen positions made ideal and bent again land where they were, for barrel and pincushion
// lenses of one and two coefficients, from the centre out to well past an image corner.
TEST(LensDistortion, UndistortionInvertsTheBend) {
    const LensDistortion lenses[] = {{-0.06f, 0.0f}, {0.08f, 0.0f}, {-0.12f, 0.02f}, {0.05f, -0.01f}};
    for (const LensDistortion& lens : lenses)
        for (float radius = 0.0f; radius <= 1.2f; radius += 0.05f) {
            const float angle = 0.3f + 2.0f * radius;
            float x = kFocal * radius * std::cos(angle), y = kFocal * radius * std::sin(angle);
            const float seenX = x, seenY = y;
            undistortPosition(lens, kFocal, x, y);
            distortPosition(lens, kFocal, x, y);
            EXPECT_NEAR(x, seenX, 2e-3f) << lens.k1 << " " << lens.k2 << " r " << radius;
            EXPECT_NEAR(y, seenY, 2e-3f) << lens.k1 << " " << lens.k2 << " r " << radius;
        }
}

// The adjustment's derivatives of the ideal position's scale, also at zero where it starts.
TEST(LensDistortion, ScaleDerivativesMatchCentralDifferences) {
    const LensDistortion lenses[] = {{0.0f, 0.0f}, {-0.06f, 0.0f}, {-0.1f, 0.03f}};
    const float x = 310.0f, y = -420.0f;
    for (const LensDistortion& lens : lenses) {
        const Undistortion u = undistortion(lens, kFocal, x, y);
        const float ef = 0.5f, ek = 1e-3f;
        const float df = (undistortion(lens, kFocal + ef, x, y).scale - undistortion(lens, kFocal - ef, x, y).scale) /
                         (2 * ef);
        const float dk1 = (undistortion({lens.k1 + ek, lens.k2}, kFocal, x, y).scale -
                           undistortion({lens.k1 - ek, lens.k2}, kFocal, x, y).scale) / (2 * ek);
        const float dk2 = (undistortion({lens.k1, lens.k2 + ek}, kFocal, x, y).scale -
                           undistortion({lens.k1, lens.k2 - ek}, kFocal, x, y).scale) / (2 * ek);
        EXPECT_NEAR(u.dScaleDf, df, 1e-6f) << lens.k1;
        EXPECT_NEAR(u.dScaleDk1, dk1, 2e-3f * std::fabs(dk1) + 1e-5f) << lens.k1;
        EXPECT_NEAR(u.dScaleDk2, dk2, 2e-3f * std::fabs(dk2) + 1e-5f) << lens.k1;
        EXPECT_LT(u.dScaleDk1, 0.0f);  // more barrel: the ideal position lies further out
    }
}

// A strong barrel lens folds back beyond some radius: positions there are not seen (they would
// land back inside the image), and a seen position past the fold's image stays at the fold.
TEST(LensDistortion, PositionsBeyondTheFoldAreNotSeen) {
    const LensDistortion strong{-0.3f, 0.0f};
    const float fold = foldRadius(strong);
    EXPECT_NEAR(fold, std::sqrt(1.0f / 0.9f), 1e-4f);  // where 1 + 3 k1 t^2 = 0
    EXPECT_TRUE(std::isinf(foldRadius({-0.06f, 0.0f})));
    EXPECT_TRUE(std::isinf(foldRadius({})));

    Camera camera(Matrix(3, 3), kFocal, Matrix(3, 3), strong);
    camera.R.setIdentity();
    camera.imageTransform.setIdentity();
    const PixelProjection projection = pixelProjection(camera);
    float u, v;
    projectBent(projection, Vec3{0.5f * fold, 0.0f, 1.0f}, u, v);
    EXPECT_TRUE(std::isfinite(u) && std::isfinite(v));
    projectBent(projection, Vec3{1.2f * fold, 0.0f, 1.0f}, u, v);
    EXPECT_TRUE(std::isnan(u) && std::isnan(v));
    projectBent(projection, Vec3{0.1f, 0.0f, -1.0f}, u, v);  // behind the camera
    EXPECT_TRUE(std::isnan(u));

    float x = 2.0f * kFocal, y = 0.0f;  // seen further out than the fold's image
    undistortPosition(strong, kFocal, x, y);
    EXPECT_NEAR(x / kFocal, fold, 1e-3f);
}

// The renderer's two directions agree: a pixel's ray, projected through the bent camera, lands
// on the same pixel.
TEST(LensDistortion, RayAndProjectionOfABentCameraAreInverse) {
    Camera camera(rotationFromVector(Vec3{0.2f, -0.4f, 0.1f}).toMatrix(), 650.0f, Matrix(3, 3), {-0.08f, 0.01f});
    const float t[9] = {2.0f, 0.0f, 399.5f, 0.0f, 2.0f, 599.5f, 0.0f, 0.0f, 1.0f};
    camera.imageTransform = Matrix::fromRowMajor(t, 3, 3);
    const PixelProjection projection = pixelProjection(camera);
    for (const float u : {0.0f, 123.0f, 400.0f, 799.0f})
        for (const float v : {0.0f, 600.0f, 1199.0f}) {
            float pu, pv;
            projectBent(projection, rayOf(camera, u, v), pu, pv);
            EXPECT_NEAR(pu, u, 0.02f);
            EXPECT_NEAR(pv, v, 0.02f);
        }
}

}  // namespace
}  // namespace vantorra
