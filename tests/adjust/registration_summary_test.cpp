// The registration summary: the line the front ends show and the full-resolution RMS error.

#include "adjust/registration_summary.h"

#include <gtest/gtest.h>

#include "synthetic_scene.h"

namespace vantorra {
namespace {

TEST(RegistrationSummaryTest, LineNamesCountsErrorAndLeftOutPhotographs) {
    const struct {
        int registered, total;
        float rms;
        std::vector<std::string> leftOut;
        const char* line;
    } cases[] = {
        {6, 7, 0.4f, {"IMG_0107.jpg"},
         "6 of 7 photographs registered; RMS error 0.4 px (full resolution); left out: IMG_0107.jpg"},
        {3, 3, 1.26f, {}, "3 of 3 photographs registered; RMS error 1.3 px (full resolution)"},
        {2, 4, 0.0634f, {"a.jpg", "b.jpg"},
         "2 of 4 photographs registered; RMS error 0.063 px (full resolution); left out: a.jpg, b.jpg"},
        {10, 10, 12.34f, {}, "10 of 10 photographs registered; RMS error 12.3 px (full resolution)"},
    };
    for (const auto& c : cases) {
        RegistrationSummary s;
        s.registered = c.registered;
        s.total = c.total;
        s.rmsFullResolution = c.rms;
        s.leftOut = c.leftOut;
        EXPECT_EQ(summaryLine(s), c.line);
    }
}

TEST(RegistrationSummaryTest, ErrorIsMeasuredAtFullResolution) {
    synthetic::SceneShape shape;
    shape.cameras = 3;
    shape.noise = 0.0f;
    synthetic::SyntheticScene scene = synthetic::makeScene(shape);
    std::vector<Camera> cameras;
    for (const CameraState& s : scene.truth) {
        Camera c;
        c.R = s.R.toMatrix();
        c.f = s.f;
        c.imageTransform = focalMatrix(1.0f).toMatrix();
        c.imageTransform.at(0, 0) = c.imageTransform.at(1, 1) = 2.0f;  // feature image at half size
        cameras.push_back(c);
    }
    // Every second position of (0, 1) off by 0.3 rows and 0.4 columns: 0.5 feature pixels.
    MatchPoints& p = scene.matches.points(0, 1);
    for (int k = 0; k < scene.matches.count(0, 1); ++k) {
        p.second.at(0, k) += 0.3f;
        p.second.at(1, k) += 0.4f;
    }
    // Image 2 is not in the panorama: its pairs do not count and its name is listed.
    const RegistrationSummary s = summariseRegistration(
        scene.matches, cameras, {0, 1}, {"/photos/a.jpg", "/photos/b.jpg", "/photos/c.jpg"});
    EXPECT_EQ(s.registered, 2);
    EXPECT_EQ(s.total, 3);
    EXPECT_EQ(s.leftOut, (std::vector<std::string>{"c.jpg"}));
    ASSERT_EQ(s.pairs.size(), 2u);
    EXPECT_NEAR(s.pairs[0].rmsFullResolution, 1.0f, 1e-3f);  // 0.5 feature pixels, doubled
    EXPECT_NEAR(s.pairs[1].rmsFullResolution, 0.0f, 1e-3f);
    const double n0 = scene.matches.count(0, 1), n1 = scene.matches.count(1, 0);
    EXPECT_NEAR(s.rmsFullResolution, std::sqrt(n0 / (n0 + n1)), 1e-3);
}

}  // namespace
}  // namespace vantorra
