// A parameter file's output mapping drawn again: when the options leave it alone, when one of
// them overrides it, and the cameras taken into its frame.

#include "pipeline/recorded_mapping.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vantorra {
namespace {

OutputMapping recorded() {
    OutputMapping m;
    m.projection = "stereographic";
    m.width = 900;
    m.height = 400;
    m.scale = 310.25;
    m.centreColumn = 450.5;
    m.centreRow = 180.25;
    return m;
}

TEST(RecordedMapping, IsDrawnAgainUnlessAnOptionAsksForAnotherProjectionSizeCropOrOrientation) {
    struct Case {
        const char* what;
        std::function<void(RenderOptions&)> change;
        const char* projection;
        bool mapped;
    };
    const Case cases[] = {
        {"the defaults", [](RenderOptions&) {}, "stereographic", true},
        {"another blending", [](RenderOptions& o) { o.blendingMethod = "none"; }, "stereographic", true},
        {"another projection", [](RenderOptions& o) { o.projection = "panini"; }, "panini", false},
        {"the file's projection named", [](RenderOptions& o) { o.projection = "stereographic"; }, "stereographic", true},
        {"a width", [](RenderOptions& o) { o.width = 900; }, "stereographic", false},
        {"a scale", [](RenderOptions& o) { o.sizeMode = SizeMode::Scale; }, "stereographic", false},
        {"the covered rectangle", [](RenderOptions& o) { o.cropInside = true; }, "stereographic", false},
        {"a crop", [](RenderOptions& o) { o.autoCrop = false; }, "stereographic", false},
        {"a manual angle", [](RenderOptions& o) { o.orientPsi = 0.1f; }, "stereographic", false},
        {"no straightening", [](RenderOptions& o) { o.autoStraighten = false; }, "stereographic", false},
    };
    for (const Case& c : cases) {
        RenderOptions options;
        c.change(options);
        const RenderOptions drawn = withRecordedMapping(options, recorded());
        EXPECT_EQ(drawn.projection, c.projection) << c.what;
        EXPECT_EQ(drawn.mapping.known(), c.mapped) << c.what;
        if (c.mapped) {
            EXPECT_TRUE(drawn.mapping == recorded()) << c.what;
        }
    }
    // A file without a mapping, or options that held one from before: nothing recorded is drawn.
    RenderOptions stale;
    stale.mapping = recorded();
    EXPECT_FALSE(withRecordedMapping(stale, OutputMapping{}).mapping.known());
    EXPECT_EQ(withRecordedMapping(stale, OutputMapping{}).projection, RenderOptions{}.projection);
}

TEST(RecordedMapping, OnlyRoundingKeepsTheRecordedOne) {
    const OutputMapping before = recorded();
    OutputMapping rounded = before;
    rounded.scale *= 1 + 2e-7;
    rounded.centreColumn += 4e-4;
    EXPECT_TRUE(keepRecordedMapping(rounded, before) == before);
    for (const std::function<void(OutputMapping&)>& move :
         std::vector<std::function<void(OutputMapping&)>>{[](OutputMapping& m) { m.centreRow += 0.01; },
                                                          [](OutputMapping& m) { m.scale *= 1.0001; },
                                                          [](OutputMapping& m) { m.height += 1; },
                                                          [](OutputMapping& m) { m.projection = "fisheye"; }}) {
        OutputMapping moved = before;
        move(moved);
        EXPECT_TRUE(keepRecordedMapping(moved, before) == moved);
    }
}

TEST(RecordedMapping, CamerasOfThePanoramaAreTakenIntoTheOutputFrame) {
    const float c = std::cos(0.4f), s = std::sin(0.4f);
    OutputMapping m = recorded();
    m.rotation = Mat3::identity();
    m.rotation(0, 0) = m.rotation(1, 1) = c;
    m.rotation(0, 1) = -s;
    m.rotation(1, 0) = s;
    std::vector<Camera> cameras(3);
    for (Camera& camera : cameras) {
        camera.R = Mat3::identity().toMatrix();
        camera.f = 500;
        camera.imageTransform = Mat3::identity().toMatrix();
    }
    const std::vector<int32_t> component{0, 2};
    intoOutputFrame(cameras, component, m);
    // c = R O^T d': an output direction d' = O d is seen where the world direction d was.
    const Vec3 d{0.3f, -0.2f, 0.93f};
    const Vec3 seen = Mat3::fromMatrix(cameras[0].R) * (m.rotation * d);
    EXPECT_NEAR(seen.x, d.x, 1e-6f);
    EXPECT_NEAR(seen.y, d.y, 1e-6f);
    EXPECT_NEAR(seen.z, d.z, 1e-6f);
    EXPECT_TRUE(Mat3::fromMatrix(cameras[1].R).m == Mat3::identity().m);  // outside the panorama
    // The identity keeps every camera exactly as it was read.
    std::vector<Camera> again = cameras;
    intoOutputFrame(again, component, recorded());
    EXPECT_TRUE(Mat3::fromMatrix(again[0].R).m == Mat3::fromMatrix(cameras[0].R).m);
}

}  // namespace
}  // namespace vantorra
