#include "cli/run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/exit_codes.h"
#include "io/panorama_sink.h"
#include "cli/terminal_progress.h"
#include "core/image.h"
#include "io/jpeg.h"
#include "pipeline/stitcher.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

// Stands in for the pipeline: records what it was given and produces a small panorama, or
// leaves the cameras unregistered as a run without matches does.
// A blank panorama of rows x cols, as a fake run renders it.
void writeBlank(PanoramaSink& sink, int rows, int cols) {
    Image image;
    image.allocate(rows, cols, 3);
    writeToSink(image, sink);
}

struct FakePipeline {
    bool findMatches = true;
    std::string failure;  // why a stitch failed, if it does
    int records = 2;
    RegistrationSummary registration;  // what a stitch reports (empty: nothing to tell)
    std::vector<std::string> stitched;
    std::string replayed;
    int calls = 0;

    PipelineCalls calls_() {
        return {
            [this](Stitcher& stitcher, const std::vector<std::string>& names, PanoramaSink& output, std::ostream& log) {
                ++calls;
                stitched = names;
                log << "[ fake log line ]" << std::endl;
                std::vector<Photograph> photographs;
                for (const std::string& name : names) photographs.push_back(Photograph{name, ImageSize{8, 12, 3}});
                stitcher.takeCameras("", std::move(photographs), std::vector<Camera>(names.size()), {});
                RunReport report;
                report.records = static_cast<int>(names.size());
                report.registration = registration;
                report.outcome = !failure.empty() ? StitchOutcome::Failed
                                 : findMatches    ? StitchOutcome::Stitched
                                                  : StitchOutcome::NoMatches;
                report.message = failure;
                if (report.stitched()) writeBlank(output, 20, 30);
                return report;
            },
            [this](Stitcher&, const std::string& path, PanoramaSink& output, std::ostream&) {
                ++calls;
                replayed = path;
                RunReport report;
                report.records = records;
                if (records > 0) {
                    writeBlank(output, 10, 16);
                    report.outcome = StitchOutcome::Stitched;
                } else {
                    report.outcome = StitchOutcome::Unreadable;
                    report.message = "no image records in " + path;
                }
                return report;
            },
        };
    }
};

class RunTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vantorra-run-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        Image photo;
        photo.allocate(8, 12, 3);
        for (const char* name : {"a.jpg", "b.jpg", "c.JPG"}) ASSERT_TRUE(writeJpeg(file(name), photo, 90));
        std::ofstream(file("notes.md")) << "not an image";
        std::ofstream(file("broken.jpg")) << "not a jpeg either";
        options_.outputDirectory = file("out");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string file(const std::string& name) const { return (dir_ / name).string(); }

    int run() {
        messages_.str("");
        errors_.str("");
        return runCli(options_, fake_.calls_(), nullptr, messages_, errors_);
    }

    fs::path dir_;
    CliOptions options_;
    FakePipeline fake_;
    std::ostringstream messages_, errors_;
};

TEST_F(RunTest, SuccessWritesPanoramaAndParametersIntoTheOutputFolder) {
    options_.inputs = {file("b.jpg"), file("notes.md"), file("a.jpg"), file("c.JPG")};
    options_.stitch.render.jpegQuality = 90;
    ASSERT_EQ(run(), ExitSuccess) << errors_.str();
    EXPECT_EQ(fake_.stitched, (std::vector<std::string>{file("b.jpg"), file("a.jpg"), file("c.JPG")}));

    JpegHeader header;
    ASSERT_TRUE(readJpegHeader(file("out/pano.jpg"), header));
    EXPECT_EQ(header.width, 30);
    EXPECT_EQ(header.height, 20);
    std::ifstream parameters(file("out/pano.txt"));
    std::string firstLine;
    std::getline(parameters, firstLine);
    EXPECT_EQ(firstLine, file("b.jpg"));
    EXPECT_EQ(messages_.str(), "Panorama written to " + file("out/pano.jpg") + "\n");
    EXPECT_NE(errors_.str().find("skipping " + file("notes.md")), std::string::npos) << errors_.str();
    EXPECT_FALSE(fs::exists(file("out/log.txt")));

    options_.quiet = true;
    ASSERT_EQ(run(), ExitSuccess);
    EXPECT_EQ(messages_.str(), "");
    EXPECT_EQ(errors_.str(), "");
}

TEST_F(RunTest, RegistrationSummaryLineComesBeforeThePanoramaLine) {
    options_.inputs = {file("a.jpg"), file("b.jpg"), file("c.JPG")};
    fake_.registration.registered = 2;
    fake_.registration.total = 3;
    fake_.registration.rmsFullResolution = 0.4f;
    fake_.registration.leftOut = {"c.JPG"};
    ASSERT_EQ(run(), ExitSuccess) << errors_.str();
    EXPECT_EQ(messages_.str(),
              "2 of 3 photographs registered; RMS error 0.4 px (full resolution); left out: c.JPG\n"
              "Panorama written to " + file("out/pano.jpg") + "\n");
    options_.quiet = true;
    ASSERT_EQ(run(), ExitSuccess);
    EXPECT_EQ(messages_.str(), "");
}

TEST_F(RunTest, FailuresGiveTheirExitStatusAndOneLine) {
    struct Case {
        const char* label;
        std::vector<std::string> inputs;
        bool findMatches;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {"no matches", {file("a.jpg"), file("b.jpg")}, false, ExitNoMatches, "No image matches found"},
        {"one image", {file("a.jpg")}, true, ExitUsage, "Please select 2 or more images"},
        // Unreadable photographs are no longer refused up front: the pipeline leaves them out
        // (see bad_input_test.cpp, which runs the real pipeline).
        {"missing parameters", {file("gone.txt")}, true, ExitFileError, "File does not exist"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.label);
        fake_ = FakePipeline{};
        fake_.findMatches = test.findMatches;
        options_.inputs = test.inputs;
        options_.quiet = true;
        EXPECT_EQ(run(), test.exitCode);
        const std::string errors = errors_.str();
        EXPECT_NE(errors.find(test.message), std::string::npos) << errors;
        EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
        EXPECT_FALSE(fs::exists(file("out/pano.jpg")));
        EXPECT_FALSE(fs::exists(file("out/pano.txt")));
        // Inputs are checked before the pipeline starts.
        EXPECT_EQ(fake_.calls, test.exitCode == ExitNoMatches ? 1 : 0);
    }
}

TEST_F(RunTest, AStitchThatFailsPartWayReportsItsReasonAsAnInputError) {
    fake_.failure = "b.jpg: Premature end of JPEG file";
    options_.inputs = {file("a.jpg"), file("b.jpg")};
    options_.quiet = true;
    EXPECT_EQ(run(), ExitFileError);
    EXPECT_EQ(errors_.str(), "cannot stitch: b.jpg: Premature end of JPEG file\n");
    EXPECT_FALSE(fs::exists(file("out/pano.jpg")));
}

TEST_F(RunTest, OutputFolderIsCreatedOrRefusedBeforeTheRun) {
    options_.inputs = {file("a.jpg"), file("b.jpg")};
    options_.outputDirectory = file("deep/er/out");
    EXPECT_EQ(run(), ExitSuccess) << errors_.str();
    EXPECT_TRUE(fs::exists(file("deep/er/out/pano.jpg")));

    options_.outputDirectory = file("notes.md/out");  // below a regular file
    fake_ = FakePipeline{};
    EXPECT_EQ(run(), ExitFileError);
    EXPECT_EQ(fake_.calls, 0);
    EXPECT_NE(errors_.str().find("output folder"), std::string::npos) << errors_.str();
}

TEST_F(RunTest, ParameterFileIsRenderedWithoutMatching) {
    std::ofstream(file("saved.TXT")) << "a.jpg\n";
    options_.inputs = {file("saved.TXT")};
    EXPECT_EQ(run(), ExitSuccess) << errors_.str();
    EXPECT_EQ(fake_.replayed, file("saved.TXT"));
    EXPECT_TRUE(fake_.stitched.empty());
    EXPECT_TRUE(fs::exists(file("out/pano.jpg")));

    fake_ = FakePipeline{};
    fake_.records = 0;
    fs::remove(file("out/pano.jpg"));
    EXPECT_EQ(run(), ExitFileError);
    EXPECT_NE(errors_.str().find("no image records"), std::string::npos) << errors_.str();
    EXPECT_FALSE(fs::exists(file("out/pano.jpg")));
}

TEST_F(RunTest, LogGoesToTheFileBesideThePanorama) {
    options_.inputs = {file("a.jpg"), file("b.jpg")};
    options_.logMode = LogDestination::File;
    ASSERT_EQ(run(), ExitSuccess) << errors_.str();
    std::ifstream log(file("out/log.txt"));
    std::string line;
    std::getline(log, line);
    EXPECT_EQ(line, "[ fake log line ]");
}

TEST(TerminalProgressTest, LineShowsTextAndBothPercentages) {
    EXPECT_EQ(progressLine("Matching SIFT features", 100, 40, 345, 120), "Matching SIFT features  stage  40%  overall  34%");
    EXPECT_EQ(progressLine("x", 0, 5, 170, 500), "x  stage   0%  overall 100%");
    EXPECT_EQ(progressLine("x", 10, -3, 10, 10), "x  stage   0%  overall 100%");
}

TEST(TerminalProgressTest, RedrawsInPlaceOnlyWhenSomethingChanged) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    TerminalProgressView view(stream);
    ProgressReporter reporter;
    reporter.attach(&view);  // draws "Initialising..."
    view.repaint();          // unchanged: nothing more
    view.setText("Loading image 1 of 2");
    view.setStageBar(100, 50);
    view.repaint();
    view.finish();
    std::rewind(stream);
    std::string written;
    for (int c; (c = std::fgetc(stream)) != EOF;) written.push_back(static_cast<char>(c));
    std::fclose(stream);
    EXPECT_EQ(written, "\rInitialising...  stage   1%  overall   1%\033[K"
                       "\rLoading image 1 of 2  stage  50%  overall   1%\033[K\n");
}

}  // namespace
}  // namespace vantorra
