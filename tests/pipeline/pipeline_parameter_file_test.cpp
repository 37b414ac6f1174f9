// The parameter file written after a stitch renders the same panorama again through a fresh
// engine, also when the photographs sit in a folder whose name has a space.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/image.h"
#include "pipeline/stitcher.h"
#include "support/pipeline_support.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

struct Difference {
    int maxLevels = 0;
    long differing = 0;  // samples that differ at all
    long far = 0;        // samples more than 8 levels apart
    double mean = 0;     // mean absolute difference in levels
};

Difference compare(const Image& a, const Image& b) {
    Difference d;
    const size_t n = std::min(a.data.size(), b.data.size());
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const int delta = std::abs(a.data[i] - b.data[i]);
        d.maxLevels = std::max(d.maxLevels, delta);
        d.differing += delta != 0;
        d.far += delta > 8;
        sum += delta;
    }
    d.mean = n > 0 ? sum / static_cast<double>(n) : 0.0;
    return d;
}

// The first render reduces the kept feature images; the re-render has none and decodes the
// photographs at a reduced scale, which rounds differently by a fraction of a level on average.
// Six significant digits move the cameras by a tiny fraction of a pixel: only a few pixels on an
// image border or a seam flip to the other side. Together: close on average, few samples far.
void expectSamePanorama(const Difference& d, size_t samples) {
    EXPECT_LT(d.mean, 1.5);
    EXPECT_LT(d.far, static_cast<long>(samples / 100));
}

// Writes pano.txt and pano.jpg of `stitcher` into `dir`, renders pano.txt with a fresh engine
// holding the same options and returns its panorama.
Image roundTrip(const Stitcher& stitcher, const Image& output, const test::TempDir& dir,
                const StitchOptions& options, const std::string& imageDirectory) {
    {
        std::ofstream file(dir.file("pano.txt"));
        writeParameterFile(file, stitcher);
    }
    std::string error;
    EXPECT_TRUE(writeJpeg(dir.file("pano.jpg"), output, stitcher.options.render.jpegQuality, &error))
        << error;
    Stitcher fresh;
    fresh.options = options;
    Image again;
    test::LogCapture log;
    const RunReport run = fresh.stitchFromParameterFile(imageDirectory, dir.file("pano.txt"), again, log);
    EXPECT_EQ(run.outcome, StitchOutcome::Stitched);
    EXPECT_EQ(run.records, static_cast<int>(stitcher.names().size()));
    EXPECT_EQ(fresh.component(), stitcher.component());
    EXPECT_FALSE(fresh.needsRegistration());
    return again;
}

TEST(PipelineParameterFileTest, RowOfSixRendersAgainFromItsParameterFile) {
    test::StitchedSet& row = test::stitchedRow6();
    ASSERT_FALSE(row.stitcher.needsRegistration());
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const Image again = roundTrip(row.stitcher, row.output, dir, test::smallOptions(800, "none"),
                                  test::testData("matching/row6"));
    ASSERT_EQ(again.rows, row.output.rows);
    ASSERT_EQ(again.cols, row.output.cols);
    const Difference d = compare(row.output, again);
    std::printf("row6 parameter-file round trip: max difference %d levels, mean %.3f, %ld of %zu samples "
                "more than 8 levels apart\n", d.maxLevels, d.mean, d.far, again.data.size());
    expectSamePanorama(d, again.data.size());
    FloatImage written;
    EXPECT_TRUE(readPhoto(dir.file("pano.jpg"), written));
    EXPECT_EQ(written.cols, row.output.cols);
}

TEST(PipelineParameterFileTest, NamesWithSpacesSurviveTheRoundTrip) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string folder = dir.file("Summer 2026");
    std::filesystem::create_directory(folder);
    const std::string row6 = test::testData("matching/row6");
    std::vector<std::string> paths;
    for (const char* name : {"DSC_0100.jpg", "DSC_0135.jpg", "DSC_0114.jpg"}) {
        std::filesystem::copy_file(row6 + name, folder + "/" + name);
        paths.push_back(folder + "/" + name);  // full paths and no directory, as the front ends do
    }
    const StitchOptions options = test::smallOptions(500, "none");
    Stitcher stitcher;
    stitcher.options = options;
    Image output;
    {
        test::LogCapture log;
        stitcher.stitch("", paths, output, log);
    }
    ASSERT_FALSE(stitcher.needsRegistration());
    ASSERT_EQ(stitcher.component().size(), 3u);
    const Image again = roundTrip(stitcher, output, dir, options, "");
    ASSERT_EQ(again.rows, output.rows);
    ASSERT_EQ(again.cols, output.cols);
    const Difference d = compare(output, again);
    std::printf("names with spaces round trip: max difference %d levels, mean %.3f, %ld samples more than "
                "8 levels apart\n", d.maxLevels, d.mean, d.far);
    expectSamePanorama(d, again.data.size());
    long covered = 0;
    for (int r = 0; r < again.rows; ++r)
        for (int c = 0; c < again.cols; ++c) covered += test::covered(again, r, c);
    EXPECT_GT(covered, again.rows * again.cols / 3);  // the photographs were found and drawn
}

// The front ends tell a refused file, an empty one and a rendered one apart by the outcome alone.
TEST(PipelineParameterFileTest, TheOutcomeSaysWhetherTheFileWasRefusedEmptyOrRendered) {
    test::StitchedSet& row = test::stitchedRow6();
    ASSERT_FALSE(row.stitcher.needsRegistration());
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    {
        std::ofstream file(dir.file("pano.txt"));
        writeParameterFile(file, row.stitcher);
    }
    std::ofstream(dir.file("empty.txt")).close();
    test::LogCapture log;
    Image output;

    Stitcher elsewhere;  // the photographs are not in this folder
    const RunReport refused = elsewhere.stitchFromParameterFile(dir.path + "/", dir.file("pano.txt"), output, log);
    EXPECT_EQ(refused.outcome, StitchOutcome::Unreadable);
    EXPECT_EQ(refused.records, 0);
    EXPECT_EQ(refused.message.rfind("cannot read " + dir.file("pano.txt") + ": ", 0), 0u) << refused.message;
    EXPECT_TRUE(output.empty());

    Stitcher empty;
    const RunReport none =
        empty.stitchFromParameterFile(row.stitcher.directory(), dir.file("empty.txt"), output, log);
    EXPECT_EQ(none.outcome, StitchOutcome::Unreadable);
    EXPECT_EQ(none.records, 0);
    EXPECT_EQ(none.message, "no image records in " + dir.file("empty.txt"));

    Stitcher fresh;
    fresh.options = test::smallOptions(400, "none");
    const RunReport rendered =
        fresh.stitchFromParameterFile(row.stitcher.directory(), dir.file("pano.txt"), output, log);
    EXPECT_EQ(rendered.outcome, StitchOutcome::Stitched);
    EXPECT_EQ(rendered.records, static_cast<int>(row.stitcher.names().size()));
    EXPECT_FALSE(output.empty());
}

// More photographs at one place than any block of the budget can blend: the run fails with a
// message that says so, before anything is rendered, rather than outgrowing the budget.
TEST(PipelineParameterFileTest, TooManyPhotographsAtOnePlaceForTheBudgetAreRefusedWithTheReason) {
    test::StitchedSet& row = test::stitchedRow6();
    ASSERT_FALSE(row.stitcher.needsRegistration());
    std::vector<CameraRecord> copies;
    std::vector<int32_t> component;
    const int32_t first = row.stitcher.component().front();
    for (int k = 0; k < 400; ++k) {
        copies.push_back({row.stitcher.directory() + row.stitcher.names()[first], row.stitcher.photographs()[first].size,
                          row.stitcher.cameras()[first]});
        component.push_back(k);
    }
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    {
        std::ofstream file(dir.file("pano.txt"));
        writeParameterFile(file, copies, component);
    }
    Stitcher stitcher;
    stitcher.options.systemMemory = int64_t{16} << 20;  // room for 512 records, not for 400 in one place
    Image output;
    test::LogCapture log;
    const RunReport run = stitcher.stitchFromParameterFile("", dir.file("pano.txt"), output, log);
    EXPECT_EQ(run.outcome, StitchOutcome::Failed);
    EXPECT_NE(run.message.find("cannot hold the 400 photographs that meet at one place"), std::string::npos);
    EXPECT_TRUE(output.empty());
}


// A file written in a folder names the photographs below it relatively, so it still opens once
// the folder has moved and from any current directory; rendering it again writes the very same
// cameras, and renders of one set of cameras and options have one size, the full-resolution
// size the one a full-resolution render has.
TEST(PipelineParameterFileTest, AFileTravelsWithItsPhotographsAndRendersAgainWithoutDrift) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string row6 = test::testData("matching/row6");
    std::filesystem::create_directories(dir.file("trip/photos"));
    std::vector<std::string> paths;
    for (const char* name : {"DSC_0100.jpg", "DSC_0107.jpg", "DSC_0114.jpg"}) {
        std::filesystem::copy_file(row6 + name, dir.file("trip/photos/") + name);
        paths.push_back(dir.file("trip/photos/") + name);
    }
    Stitcher stitcher;
    stitcher.options = test::smallOptions(300, "none");
    Image output;
    test::LogCapture log;
    const RunReport first = stitcher.stitch("", paths, output, log);
    ASSERT_EQ(first.outcome, StitchOutcome::Stitched);
    std::ostringstream written;
    writeParameterFile(written, stitcher, dir.file("trip"));
    EXPECT_EQ(written.str().rfind("photos/DSC_0100.jpg\n", 0), 0u);
    std::ostringstream elsewhere;
    writeParameterFile(elsewhere, stitcher, dir.file("other"));
    EXPECT_EQ(elsewhere.str().rfind(dir.file("trip/photos/DSC_0100.jpg") + "\n", 0), 0u);

    Image again;
    const RunReport rerender = stitcher.render(again, log);
    EXPECT_EQ(rerender.render.width, first.render.width);
    EXPECT_EQ(rerender.render.height, first.render.height);
    EXPECT_EQ(again.data, output.data);
    RenderOptions full = stitcher.options.render;
    full.sizeMode = SizeMode::Scale;
    full.scale = 1.0f;
    Image fullImage;
    const RunReport fullRender = stitcher.render(fullImage, full, log);
    EXPECT_EQ(first.render.fullWidth, fullRender.render.width);
    EXPECT_EQ(first.render.fullHeight, fullRender.render.height);
    EXPECT_EQ(fullRender.render.fullWidth, fullRender.render.width);

    std::filesystem::rename(dir.file("trip"), dir.file("moved"));
    std::ofstream(dir.file("moved/pano.txt")) << written.str();
    const test::WorkingDirectory away("/");
    Stitcher fresh;
    fresh.options = test::smallOptions(300, "none");
    Image moved;
    const RunReport read = fresh.stitchFromParameterFile("", dir.file("moved/pano.txt"), moved, log);
    ASSERT_EQ(read.outcome, StitchOutcome::Stitched) << read.message;
    std::ostringstream rewritten;
    writeParameterFile(rewritten, fresh, dir.file("moved"));
    EXPECT_EQ(rewritten.str(), written.str());
}

}  // namespace
}  // namespace vantorra
