// A panorama several times larger than the memory budget is rendered within the budget plus a
// fixed allowance: measured as the peak resident memory of a child process that does the run.

#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "io/panorama_sink.h"
#include "pipeline/stitcher.h"
#include "pipeline/stitcher.h"
#include "support/pipeline_support.h"
#include "io/photo_image.h"

#if defined(__SANITIZE_ADDRESS__)
#define VANTORRA_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTORRA_UNDER_SANITIZER 1
#endif
#endif

namespace vantorra {
namespace {

// Resident bytes of this process now.
long residentBytes() {
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
    return resident * sysconf(_SC_PAGESIZE);
}

struct ChildRun {
    bool ok = false;
    long startBytes = 0, peakBytes = 0, width = 0, height = 0;
    long ownBytes() const { return peakBytes - startBytes; }
};

// Runs `body` (true when it rendered) in a child process and measures its peak memory.
template <typename Body>
ChildRun measureInChild(Body body) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    // The child starts with this process's resident pages (what earlier tests of this process
    // keep, and what they freed on other threads, given back first here), and its peak counts
    // them: the budget is checked against what the child adds (ownBytes).
    malloc_trim(0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        ChildRun run;
        run.startBytes = residentBytes();
        body(run);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        run.peakBytes = usage.ru_maxrss * 1024L;
        const bool written = write(fds[1], &run, sizeof run) == static_cast<ssize_t>(sizeof run);
        _exit(written ? 0 : 1);
    }
    close(fds[1]);
    ChildRun run;
    const bool read = ::read(fds[0], &run, sizeof run) == static_cast<ssize_t>(sizeof run);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return run;
}

// Stitches the small row6 set at `scale` into a streamed JPEG in a child process.
ChildRun runInChild(int64_t budget, float scale, const std::string& output) {
    return measureInChild([&](ChildRun& run) {
        Stitcher stitcher;
        stitcher.options.systemMemory = budget;
        stitcher.options.render.sizeMode = SizeMode::Scale;
        stitcher.options.render.scale = scale;
        const std::string row6 = test::testData("matching/row6");
        JpegFileSink sink(output, 75);
        test::LogCapture log;
        const RunReport report = stitcher.stitch(row6, test::jpegNames(row6), sink, log);
        run.ok = report.stitched();
        run.width = report.render.width;
        run.height = report.render.height;
    });
}

// Code, libraries and decoder state, as the budget's promise allows.
constexpr long kAllowance = 74L << 20;

TEST(MemoryBudget, APanoramaLargerThanTheBudgetStaysWithinItPlusTheAllowance) {
#ifdef VANTORRA_UNDER_SANITIZER
    GTEST_SKIP() << "the sanitizers' shadow memory says nothing about the budget";
#endif
    constexpr int64_t kBudget = int64_t{12} << 20;
    test::TempDir dir;
    const ChildRun run = runInChild(kBudget, 4.0f, dir.file("pano.jpg"));
    ASSERT_TRUE(run.ok);
    const long panoramaBytes = run.width * run.height * 3;
    std::printf("panorama %ld x %ld (%ld MB), budget %lld MB: peak %ld MB, %ld MB at the start\n",
                run.width, run.height, panoramaBytes >> 20, static_cast<long long>(kBudget >> 20),
                run.peakBytes >> 20, run.startBytes >> 20);
    EXPECT_GT(panoramaBytes, 3 * kBudget);  // several times the budget
    EXPECT_LE(run.ownBytes(), kBudget + kAllowance);
    FloatImage written;
    EXPECT_TRUE(readPhoto(dir.file("pano.jpg"), written));
    EXPECT_EQ(written.cols, run.width);
}

// Many photographs meeting at one place (a parameter file of one view over and over): every one
// of them is sampled by the same blocks, so the blocks and the rows of sources they hold shrink
// to fit instead of the run growing with the number of photographs.
TEST(MemoryBudget, ManyPhotographsAtOnePlaceStayWithinTheBudget) {
#ifdef VANTORRA_UNDER_SANITIZER
    GTEST_SKIP() << "the sanitizers' shadow memory says nothing about the budget";
#endif
    // Before blocks could shrink below the preferred size this run took over 400 MB.
    constexpr int64_t kBudget = int64_t{32} << 20;
    constexpr int kCopies = 80;
    test::StitchedSet& row = test::stitchedRow6();
    ASSERT_FALSE(row.stitcher.needsRegistration());
    std::vector<CameraRecord> copies;
    std::vector<int32_t> component;
    const int32_t first = row.stitcher.component().front();
    for (int k = 0; k < kCopies; ++k) {
        copies.push_back({row.stitcher.directory() + row.stitcher.names()[first], row.stitcher.photographs()[first].size,
                          row.stitcher.cameras()[first]});
        component.push_back(k);
    }
    test::TempDir dir;
    {
        std::ofstream file(dir.file("pano.txt"));
        writeParameterFile(file, copies, component);
    }
    const ChildRun run = measureInChild([&](ChildRun& child) {
        Stitcher stitcher;
        stitcher.options.systemMemory = kBudget;
        JpegFileSink sink(dir.file("pano.jpg"), 75);
        test::LogCapture log;
        const RunReport report = stitcher.stitchFromParameterFile("", dir.file("pano.txt"), sink, log);
        child.ok = report.stitched();
        child.width = report.render.width;
        child.height = report.render.height;
    });
    ASSERT_TRUE(run.ok);
    std::printf("%d copies of one view, budget %lld MB: peak %ld MB\n", kCopies,
                static_cast<long long>(kBudget >> 20), run.ownBytes() >> 20);
    EXPECT_LE(run.ownBytes(), kBudget + kAllowance);
}

}  // namespace
}  // namespace vantorra
