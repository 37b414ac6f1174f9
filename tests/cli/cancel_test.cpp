// Ctrl-C and SIGTERM stop a run of vantorra-cli: the signal sets the cancel flag, the engine
// unwinds at its next report, nothing is written and the exit status says which signal it was.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/cancel_signals.h"
#include "cli/exit_codes.h"
#include "cli/run.h"
#include "core/image.h"
#include "pipeline/stitcher.h"
#include "io/panorama_sink.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CancelTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vantorra-cancel-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        Image photo;
        photo.allocate(40, 60, 3);
        for (int r = 0; r < photo.rows; ++r)
            for (int c = 0; c < photo.cols; ++c) photo.at(r, c, 0) = static_cast<uint8_t>(r * 5 + c);
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) ASSERT_TRUE(writeJpeg((dir / name).string(), photo, 90));
        fs::create_directories(dir / "out");
        // The results of an earlier run, which a cancelled one must leave as they were.
        std::ofstream(dir / "out" / "pano.jpg") << "earlier panorama";
        std::ofstream(dir / "out" / "pano.txt") << "earlier cameras";
        options.outputDirectory = (dir / "out").string();
        options.quiet = true;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) options.inputs.push_back((dir / name).string());
    }
    void TearDown() override {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        fs::remove_all(dir);
    }

    fs::path dir;
    CliOptions options;
};

TEST_F(CancelTest, ASignalDuringTheRunUnwindsItWritesNothingAndGivesTheSignalsStatus) {
    const struct {
        int signalNumber;
        int status;
    } cases[] = {{SIGINT, 130}, {SIGTERM, 143}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signalNumber);
        CancelFlag flag;
        installCancelSignals(flag);
        bool reachedTheEngine = false;
        // The real pipeline; the signal arrives once the run has begun, as Ctrl-C would.
        const PipelineCalls calls{
            [&](Stitcher& stitcher, const std::vector<std::string>& names, PanoramaSink& output, std::ostream& log) {
                std::raise(c.signalNumber);
                reachedTheEngine = true;
                return stitcher.stitch(std::string(), names, output, log);
            },
            [](Stitcher& stitcher, const std::string& path, PanoramaSink& output, std::ostream& log) {
                return stitcher.stitchFromParameterFile(std::string(), path, output, log);
            },
        };
        std::ostringstream messages, errors;
        const int status = runCli(options, calls, nullptr, messages, errors, &flag);
        EXPECT_TRUE(reachedTheEngine);
        EXPECT_TRUE(flag.requested());
        EXPECT_EQ(cancelSignal(), c.signalNumber);
        EXPECT_EQ(status, ExitInterrupted);
        EXPECT_EQ(cancelledExitStatus(), c.status);
        EXPECT_EQ(errors.str(), "Stitching cancelled\n");
        EXPECT_EQ(contents(dir / "out" / "pano.jpg"), "earlier panorama");
        EXPECT_EQ(contents(dir / "out" / "pano.txt"), "earlier cameras");
        // Nothing else appeared in the output folder: no temporary or partial file.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 2);
    }
}

TEST_F(CancelTest, WithoutASignalTheSameRunWritesThePanorama) {
    CancelFlag flag;
    installCancelSignals(flag);
    const PipelineCalls calls{
        [](Stitcher& stitcher, const std::vector<std::string>& names, PanoramaSink& output, std::ostream& log) {
            // Three identical photographs of a ramp: matched or not, the run is not cancelled.
            Image image;
            RunReport report = stitcher.stitch(std::string(), names, image, log);
            if (image.empty()) image.allocate(4, 6, 3);
            writeToSink(image, output);
            report.outcome = StitchOutcome::Stitched;
            report.message.clear();
            return report;
        },
        [](Stitcher&, const std::string&, PanoramaSink&, std::ostream&) { return RunReport{}; },
    };
    std::ostringstream messages, errors;
    EXPECT_EQ(runCli(options, calls, nullptr, messages, errors, &flag), ExitSuccess) << errors.str();
    EXPECT_EQ(cancelSignal(), 0);
    EXPECT_NE(contents(dir / "out" / "pano.jpg"), "earlier panorama");
}

}  // namespace
}  // namespace vantorra
