// A whole stitch on several threads (features, matching, verification, refinement, render) must
// give the bytes and the log that one thread gives.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
std::string logWithoutLanes(const std::string& path) {
    std::ifstream in(path);
    std::string kept;
    for (std::string line; std::getline(in, line);)
        if (line.find("Blocks at once") == std::string::npos) kept += line + "\n";
    return kept;
}

// Stitches `set` with `threads` threads in a child process, which starts from this process's
// place in the program's random sequence, writing pano.jpg and the log into `prefix`*.
bool stitchInChild(const std::string& set, int blending, int threads, const std::string& prefix) {
    const pid_t pid = fork();
    if (pid == 0) {
        Stitcher stitcher;
        stitcher.options = test::smallOptions(700, blending);
        stitcher.options.threads = threads;
        StitchOutcome outcome = StitchOutcome::Failed;
        std::string log;
        {
            JpegFileSink sink(prefix + "pano.jpg", 75);
            test::CoutCapture capture;
            outcome = stitcher.stitch(set, test::jpegNames(set), sink);
            log = capture.text();
        }
        std::ofstream(prefix + "log.txt") << log;
        _exit(outcome == StitchOutcome::Stitched ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ThreadedStitch, OneAndFourThreadsGiveTheSamePanoramaAndLogForEveryBlendingMethod) {
    const std::string row6 = test::testData("matching/row6");
    test::TempDir dir;
    for (const int blending : {0, 1, 2}) {
        SCOPED_TRACE(blending);
        const std::string one = dir.file("one-" + std::to_string(blending) + "-");
        const std::string four = dir.file("four-" + std::to_string(blending) + "-");
        ASSERT_TRUE(stitchInChild(row6, blending, 1, one));
        ASSERT_TRUE(stitchInChild(row6, blending, 4, four));
        const std::string panorama = contents(one + "pano.jpg");
        EXPECT_GT(panorama.size(), 1000u);
        EXPECT_TRUE(panorama == contents(four + "pano.jpg"));
        const std::string log = logWithoutLanes(one + "log.txt");
        EXPECT_NE(log.find("ACCEPT"), std::string::npos);
        EXPECT_NE(log.find("Match Position Refinement"), std::string::npos);
        EXPECT_TRUE(log == logWithoutLanes(four + "log.txt")) << "the logs differ";
    }
}

}  // namespace
}  // namespace vantorra
