// The texts of the result panel and the status line after a run.

#include "io/photo_selection.h"
#include "app/result_summary.h"

#include <gtest/gtest.h>

namespace vantorra::testing {
namespace {

ResultSummary reportOf(int width, int height, int fullWidth, int used, int leftOut) {
    ResultSummary report;
    report.panoramaPath = "/photos/pano.jpg";
    report.width = width;
    report.height = height;
    report.fullWidth = fullWidth;
    report.fullHeight = fullWidth > 0 ? height * fullWidth / width : 0;
    for (int i = 0; i < used + leftOut; ++i) report.photographs.push_back({"/p" + std::to_string(i), i < used, ""});
    return report;
}

TEST(RunReportTest, SummaryAndSizeLines) {
    const struct {
        ResultSummary report;
        const char* summary;
        const char* size;
    } cases[] = {
        {reportOf(8401, 3187, 8401, 6, 1), "Panorama 8401 × 3187 written to /photos/pano.jpg: 6 of 7 photographs, 1 left out",
         "8401 × 3187, 100 % of full resolution"},
        {reportOf(1400, 531, 8235, 6, 0), "Panorama 1400 × 531 written to /photos/pano.jpg: 6 of 6 photographs",
         "1400 × 531, 17 % of full resolution (8235 × 3123)"},
        {reportOf(2, 2, 100000, 1, 2), "Panorama 2 × 2 written to /photos/pano.jpg: 1 of 3 photographs, 2 left out",
         "2 × 2, 1 % of full resolution (100000 × 100000)"},
        {reportOf(300, 100, 0, 0, 0), "Panorama 300 × 100 written to /photos/pano.jpg",
         "300 × 100, 100 % of full resolution"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(summaryLine(c.report), c.summary);
        EXPECT_EQ(sizeLine(c.report), c.size);
    }
}

TEST(RunReportTest, PhotographsOutsideThePanoramaAreLeftOutWithTheReason) {
    const ImageSize size{300, 400, 3};
    std::vector<Photograph> photographs = {{"a.jpg", size}, {"b.jpg", size}, {"c.jpg", ImageSize{}}, {"d.jpg", size}};
    RenderResult render;
    render.width = 700;
    render.height = 200;
    render.fullWidth = 1401;  // the render's own figure, not one worked back from the scale
    render.fullHeight = 401;
    render.scale = 0.5f;
    Stitcher stitcher;
    auto take = [&](std::vector<Photograph> given) {
        stitcher.takeCameras("/photos/", std::move(given), std::vector<Camera>(4), {0, 3});
    };
    std::vector<Photograph> unreadable = photographs;
    unreadable[2].leftOut = "/photos/c.jpg: Not a JPEG file: starts with 0x89 0x50";
    take(unreadable);
    ResultSummary report = makeResultSummary(stitcher, render, "/out/pano.jpg", "/out/pano.txt");
    ASSERT_EQ(report.photographs.size(), 4u);
    // The engine's reason, without the path the list shows already.
    EXPECT_EQ(report.photographs[2].reason, "Not a JPEG file: starts with 0x89 0x50");
    std::vector<Photograph> repeated = photographs;
    repeated[1].leftOut = "/photos/b.jpg: the same view as /photos/a.jpg";
    take(repeated);
    EXPECT_EQ(makeResultSummary(stitcher, render, "", "").photographs[1].reason, "the same view as /photos/a.jpg");
    take(photographs);
    report = makeResultSummary(stitcher, render, "/out/pano.jpg", "/out/pano.txt");
    EXPECT_EQ(report.photographs[0].path, "/photos/a.jpg");
    EXPECT_TRUE(report.photographs[0].used);
    EXPECT_FALSE(report.photographs[1].used);
    EXPECT_EQ(report.photographs[1].reason, "no overlap with the other photographs");
    EXPECT_EQ(report.photographs[2].reason, "unreadable");
    EXPECT_TRUE(report.photographs[3].used);
    EXPECT_EQ(report.usedCount(), 2);
    EXPECT_EQ(report.fullWidth, 1401);
    EXPECT_EQ(report.fullHeight, 401);
    EXPECT_EQ(report.percentOfFull(), 50);
    // Paths left out before the run follow the run's photographs, with their reasons.
    report = makeResultSummary(stitcher, render, "/out/pano.jpg", "/out/pano.txt",
                               {{"/photos/e.gif", kNotAPhotograph}, {"/gone.jpg", "No such file or directory"}});
    ASSERT_EQ(report.photographs.size(), 6u);
    EXPECT_EQ(report.photographs[4].path, "/photos/e.gif");
    EXPECT_EQ(report.photographs[5].reason, "No such file or directory");
    EXPECT_EQ(report.leftOutCount(), 4);
}

TEST(RunReportTest, TheParameterFileTakesThePanoramasStem) {
    EXPECT_EQ(parameterPathFor("/out/pano.jpg"), "/out/pano.txt");
    EXPECT_EQ(parameterPathFor("/out/weir 2.JPEG"), "/out/weir 2.txt");
    EXPECT_EQ(parameterPathFor("/a.b/c"), "/a.b/c.txt");
    EXPECT_EQ(runningLine(false, 6), "Stitching 6 photographs…");
    EXPECT_EQ(runningLine(true, 1), "Rendering 1 photograph…");
}

}  // namespace
}  // namespace vantorra::testing
