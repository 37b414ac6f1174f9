// A whole stitch on several threads (features, matching, verification, refinement, render) must
// give the bytes and the log that one thread gives; and since every run keeps its own random
// sequence, search state and pools, a second stitch in the same program gives the first's.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "io/panorama_sink.h"
#include "pipeline/stitcher.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The log without the one line that names the thread count's share of the work.
std::string withoutLanes(const std::string& log) {
    std::istringstream in(log);
    std::string kept;
    for (std::string line; std::getline(in, line);)
        if (line.find("Blocks at once") == std::string::npos) kept += line + "\n";
    return kept;
}

struct Stitched {
    std::string panorama;
    std::string log;
};

Stitched stitchWith(const std::string& set, const std::string& blending, int threads, const std::string& path) {
    Stitcher stitcher;
    stitcher.options = test::smallOptions(700, blending);
    stitcher.options.threads = threads;
    test::LogCapture capture;
    RunReport report;
    {
        JpegFileSink sink(path, 75);
        report = stitcher.stitch(set, test::jpegNames(set), sink, capture);
    }
    EXPECT_EQ(report.outcome, StitchOutcome::Stitched) << report.message;
    return {contents(path), withoutLanes(capture.text())};
}

TEST(ThreadedStitch, OneAndFourThreadsAndASecondRunGiveTheSamePanoramaAndLogForEveryBlendingMethod) {
    const std::string row6 = test::testData("matching/row6");
    test::TempDir dir;
    for (const char* blending : {"none", "linear", "multiband"}) {
        SCOPED_TRACE(blending);
        const Stitched one = stitchWith(row6, blending, 1, dir.file("one.jpg"));
        const Stitched four = stitchWith(row6, blending, 4, dir.file("four.jpg"));
        const Stitched again = stitchWith(row6, blending, 1, dir.file("again.jpg"));
        EXPECT_GT(one.panorama.size(), 1000u);
        EXPECT_TRUE(one.panorama == four.panorama);
        EXPECT_TRUE(one.panorama == again.panorama) << "a second run in the same program differs";
        EXPECT_NE(one.log.find("ACCEPT"), std::string::npos);
        EXPECT_NE(one.log.find("Match Position Refinement"), std::string::npos);
        EXPECT_TRUE(one.log == four.log) << "the logs differ";
        EXPECT_TRUE(one.log == again.log) << "the second run's log differs";
    }
}

}  // namespace
}  // namespace vantorra
