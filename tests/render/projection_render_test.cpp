// A synthetic scene drawn through every projection of the table: each lit pixel shows the
// texture of the direction its recorded mapping names, every pixel some photograph sees is lit,
// and the crop to the covered rectangle leaves no pixel uncovered.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "render/projection_registry.h"
#include "support/render_support.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

bool lit(const Image& image, int r, int c) {
    return image.at(r, c, 0) > 8 || image.at(r, c, 1) > 8 || image.at(r, c, 2) > 8;
}

// Whether a camera of the scene sees direction d well inside its photograph.
bool seen(const testing::Scene& scene, const Vec3& d) {
    for (const Camera& camera : scene.cameras) {
        const Vec3 p = projectionMatrix(camera) * d;
        if (p.z > 0 && p.x / p.z > 3 && p.x / p.z < 117 - 3 && p.y / p.z > 3 && p.y / p.z < 157 - 3) return true;
    }
    return false;
}

// The direction the mapping names for pixel (r, c), in the cameras' frame; false where none.
bool mappedDirection(const Projection& projection, const OutputMapping& m, int r, int c, Vec3& d) {
    Direction out;
    if (!projection.directionAt(PlanePoint{(c - m.centreColumn) / m.scale, (m.centreRow - r) / m.scale}, out))
        return false;
    const Mat3& O = m.rotation;
    d = Vec3{static_cast<float>(O(0, 0) * out.x + O(1, 0) * out.y + O(2, 0) * out.z),
             static_cast<float>(O(0, 1) * out.x + O(1, 1) * out.y + O(2, 1) * out.z),
             static_cast<float>(O(0, 2) * out.x + O(1, 2) * out.y + O(2, 2) * out.z)};
    return true;
}

TEST(ProjectionRender, EveryProjectionDrawsTheSceneWhereItsMappingSays) {
    for (const ComponentRow<Projection>& row : projections().rows()) {
        SCOPED_TRACE(std::string(row.name));
        testing::Scene scene;
        testing::buildScene(scene, {{-0.35f, 0.05f}, {0.0f, 0.0f}, {0.35f, -0.05f}}, 150, 120, 160);
        RenderOptions options;
        options.blendingMethod = "none";
        options.projection = std::string(row.name);
        options.width = 320;
        Image panorama;
        const RenderResult result = renderScene(scene.view(), options, panorama);
        ASSERT_TRUE(result.rendered) << result.error;
        const OutputMapping& m = result.mapping;
        ASSERT_EQ(m.projection, row.name);
        ASSERT_EQ(m.width, panorama.cols);
        ASSERT_EQ(m.height, panorama.rows);
        std::vector<float> differences;
        int seenButDark = 0, seenPixels = 0;
        for (int r = 0; r < panorama.rows; r += 2)
            for (int c = 0; c < panorama.cols; c += 2) {
                Vec3 d;
                if (!mappedDirection(*row.component, m, r, c, d)) continue;
                if (seen(scene, d)) {
                    ++seenPixels;
                    if (!lit(panorama, r, c)) ++seenButDark;
                }
                if (!lit(panorama, r, c)) continue;
                float worst = 0;
                for (int k = 0; k < 3; ++k)
                    worst = std::max(worst, std::fabs(panorama.at(r, c, k) - testing::textureAt(d.x, d.y, d.z, k)));
                differences.push_back(worst);
            }
        ASSERT_GT(differences.size(), 1000u);
        std::sort(differences.begin(), differences.end());
        // The texture is smooth: what remains is the photographs' sampling and 8-bit rounding.
        EXPECT_LT(differences[differences.size() / 2], 2.0f);
        EXPECT_LT(differences[differences.size() * 99 / 100], 6.0f);
        EXPECT_LT(seenButDark, seenPixels / 200 + 1);
    }
}

TEST(ProjectionRender, TheCropToTheCoveredRectangleLeavesNoPixelUncovered) {
    for (const ComponentRow<Projection>& row : projections().rows()) {
        SCOPED_TRACE(std::string(row.name));
        testing::Scene scene;
        // Staggered up and down: the automatic crop leaves empty corners.
        testing::buildScene(scene, {{-0.4f, 0.12f}, {0.0f, -0.1f}, {0.4f, 0.08f}}, 150, 120, 160);
        RenderOptions options;
        options.blendingMethod = "none";
        options.projection = std::string(row.name);
        options.sizeMode = SizeMode::Scale;
        options.scale = 1.0f;
        Image automatic, inside;
        ASSERT_TRUE(renderScene(scene.view(), options, automatic).rendered);
        options.cropInside = true;
        ASSERT_TRUE(renderScene(scene.view(), options, inside).rendered);
        auto dark = [](const Image& image) {
            long count = 0;
            for (int r = 0; r < image.rows; ++r)
                for (int c = 0; c < image.cols; ++c) count += !lit(image, r, c);
            return count;
        };
        EXPECT_GT(dark(automatic), 100);
        EXPECT_EQ(dark(inside), 0);
        // Not a sliver: much of the automatic crop (whose corners a flat plane stretches most).
        EXPECT_GT(static_cast<double>(inside.rows) * inside.cols, 0.4 * automatic.rows * automatic.cols);
    }
}

}  // namespace
}  // namespace vantorra
