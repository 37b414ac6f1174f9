#include "io/output_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

#include "core/cancel_flag.h"
#include "core/image.h"
#include "io/jpeg.h"
#include "io/output_commit.h"
#include "io/panorama_checksum.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The section a parameter file gets for the panorama at `path`, as it is now.
std::string sectionFor(const fs::path& path) {
    PanoramaChecksum checksum;
    const int descriptor = open(path.c_str(), O_RDONLY);
    EXPECT_TRUE(descriptor >= 0 && checksumOfFile(descriptor, checksum));
    if (descriptor >= 0) close(descriptor);
    checksum.name = path.filename().string();
    return panoramaSection(checksum);
}

class OutputFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vantorra-outputs-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        std::ofstream(dir_ / "pano.jpg") << "earlier panorama";
        std::ofstream(dir_ / "pano.txt") << "earlier parameters";
        image_.allocate(12, 20, 3);
        for (size_t i = 0; i < image_.data.size(); ++i) image_.data[i] = static_cast<uint8_t>(i * 7);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::set<std::string> names() const {
        std::set<std::string> result;
        for (const auto& entry : fs::directory_iterator(dir_)) result.insert(entry.path().filename().string());
        return result;
    }
    void expectEarlier() const {
        EXPECT_EQ(names(), (std::set<std::string>{"pano.jpg", "pano.txt"}));
        EXPECT_EQ(readFile(dir_ / "pano.jpg"), "earlier panorama");
        EXPECT_EQ(readFile(dir_ / "pano.txt"), "earlier parameters");
    }

    fs::path dir_;
    Image image_;
};

TEST_F(OutputFilesTest, BothOutputsAreReplacedTogether) {
    EXPECT_EQ(checkOutputsWritable(dir_.string()), "");
    ASSERT_EQ(writeOutputs(dir_.string(), image_, 90, "new parameters\n"), "");
    EXPECT_EQ(names(), (std::set<std::string>{"pano.jpg", "pano.txt"}));
    EXPECT_EQ(readFile(dir_ / "pano.txt"), "new parameters\n" + sectionFor(dir_ / "pano.jpg"));
    JpegHeader header;
    ASSERT_TRUE(readJpegHeader((dir_ / "pano.jpg").string(), header));
    EXPECT_EQ(header.width, 20);
    EXPECT_EQ(header.height, 12);
}

// The parameter file cannot take its name once the panorama has its new one (a folder took its
// place, as an immutable file or a vanished mount would refuse it): the panorama goes back to the
// earlier file, or away when there was none, so the folder never holds half of a new pair.
TEST_F(OutputFilesTest, WhenTheSecondRenameFailsTheFirstIsUndone) {
    for (const bool earlier : {true, false}) {
        SCOPED_TRACE(earlier ? "an earlier pair" : "no earlier panorama");
        fs::remove_all(dir_ / "pano.txt");
        if (!earlier) fs::remove(dir_ / "pano.jpg");
        StagedOutputs staged(dir_.string(), 90);
        ASSERT_EQ(staged.open(), "");
        ASSERT_TRUE(writeToSink(image_, staged.panorama()));
        fs::create_directories(dir_ / "pano.txt" / "inside");
        const std::string failure = staged.commit("new parameters\n");
        EXPECT_EQ(failure.rfind("cannot write " + (dir_ / "pano.txt").string() + ": ", 0), 0u) << failure;
        EXPECT_EQ(failure.find("already the new one"), std::string::npos) << failure;
        const std::set<std::string> left = earlier ? std::set<std::string>{"pano.jpg", "pano.txt"} : std::set<std::string>{"pano.txt"};
        EXPECT_EQ(names(), left);
        if (earlier) {
            EXPECT_EQ(readFile(dir_ / "pano.jpg"), "earlier panorama");
        }
        std::ofstream(dir_ / "pano.jpg") << "earlier panorama";
    }
}

// What a killed run left beside the outputs is removed by the next run into the folder; what a
// running process holds is not.
TEST_F(OutputFilesTest, TemporariesOfDeadRunsAreRemovedAndOthersKept) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string dead = std::to_string(child), alive = std::to_string(getppid());
    for (const std::string& name : {".pano.jpg." + dead + "-0", ".pano.txt." + dead + "-3", ".pano.jpg." + dead + "-old",
                                    ".pano.jpg." + alive + "-0", std::string(".pano.jpg.notes")})
        std::ofstream(dir_ / name) << "left";
    ASSERT_EQ(writeOutputs(dir_.string(), image_, 90, "new\n"), "");
    EXPECT_EQ(names(), (std::set<std::string>{"pano.jpg", "pano.txt", ".pano.jpg." + alive + "-0", std::string(".pano.jpg.notes")}));
}

// Runs replacing outputs in one folder at once each leave a whole pair: the text and the image
// that remain are always one writer's, and the recorded checksum is the image's.
TEST_F(OutputFilesTest, ConcurrentCommitsLeaveOneWritersPair) {
    Image other;
    other.allocate(16, 24, 3);
    auto writer = [&](const Image& image, const std::string& text) {
        for (int i = 0; i < 25; ++i) EXPECT_EQ(writeOutputs(dir_.string(), image, 90, text), "");
    };
    std::thread a(writer, std::cref(image_), "writer a\n"), b(writer, std::cref(other), "writer b\n");
    a.join();
    b.join();
    const std::string text = readFile(dir_ / "pano.txt");
    JpegHeader header;
    ASSERT_TRUE(readJpegHeader((dir_ / "pano.jpg").string(), header));
    EXPECT_EQ(text, (header.width == 20 ? "writer a\n" : "writer b\n") + sectionFor(dir_ / "pano.jpg"));
    EXPECT_EQ(names(), (std::set<std::string>{"pano.jpg", "pano.txt"}));
}

// Every path a run will write, its temporaries' too, is checked before the run for the limits of
// the system, so that a long run never fails at its end for a name.
TEST_F(OutputFilesTest, PathsTooLongForTheirTemporariesAreRefusedBeforehand) {
    const std::string deep = dir_.string() + "/" + std::string(4080 - dir_.string().size() - 1, 'd');
    struct Case {
        std::string path;
        bool temporaries;
        const char* refusal;  // part of the message, or empty when it can be written
    };
    const Case cases[] = {
        {(dir_ / "pano.jpg").string(), true, ""},
        {deep.substr(0, 4000) + "/pano.jpg", true, ""},
        {deep.substr(0, 4075) + "/pano.jpg", true, "its temporary's path would be longer than 4095 bytes"},
        {deep.substr(0, 4075) + "/log.txt", false, ""},
        {deep + "/" + std::string(20, 'x') + "/pano.jpg", false, "its path would be longer than 4095 bytes"},
        {(dir_ / (std::string(240, 'n') + ".jpg")).string(), false, ""},
        {(dir_ / (std::string(240, 'n') + ".jpg")).string(), true, "its temporary's name would be longer than"},
    };
    for (const Case& test : cases) {
        const std::string problem = outputPathProblem(test.path, test.temporaries);
        if (std::string(test.refusal).empty()) {
            EXPECT_EQ(problem, "") << test.path.size();
        } else {
            EXPECT_EQ(problem.rfind("cannot write " + test.path + ": ", 0), 0u) << problem;
            EXPECT_NE(problem.find(test.refusal), std::string::npos) << problem;
        }
    }
}

TEST_F(OutputFilesTest, FailureOrCancelKeepsTheEarlierOutputsAndNoTemporary) {
    CancelFlag cancel;
    cancel.request();
    EXPECT_EQ(writeOutputs(dir_.string(), image_, 90, "new", &cancel), "cancelled before the outputs were replaced");
    expectEarlier();

    Image grey;
    grey.allocate(4, 4, 1);  // JPEG output is RGB only
    EXPECT_EQ(writeOutputs(dir_.string(), grey, 90, "new"),
              "cannot write " + (dir_ / "pano.jpg").string() + ": only a 3-channel image can be written as JPEG");
    expectEarlier();

    EXPECT_EQ(writeOutputs(dir_.string(), Image{}, 90, "new").rfind("cannot write " + (dir_ / "pano.jpg").string(), 0),
              0u);
    expectEarlier();

    // Cancelled while another run holds the folder: the wait ends, and nothing is replaced.
    CancelFlag later;
    StagedOutputs waiting(dir_.string(), 90);
    ASSERT_EQ(waiting.open(), "");
    ASSERT_TRUE(writeToSink(image_, waiting.panorama()));
    std::string result = "not returned";
    {
        const FolderLock other(dir_.string());
        ASSERT_TRUE(other.locked());
        std::thread commit([&] { result = waiting.commit("new", &later); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        later.request();
        commit.join();  // before the other run lets go of the folder
    }
    EXPECT_EQ(result, "cancelled before the outputs were replaced");
    expectEarlier();
}

TEST_F(OutputFilesTest, UnusableFoldersAndEarlierFilesAreNamedWithTheReason) {
    struct Case {
        const char* what;
        std::string folder;
        std::string message;
    };
    fs::create_directories(dir_ / "taken" / "pano.txt");  // a folder where the file would go
    std::ofstream(dir_ / "plain") << "a file";
    const Case cases[] = {
        {"missing folder", (dir_ / "absent").string(), "cannot write " + (dir_ / "absent").string() + ": No such file or directory"},
        {"a file, not a folder", (dir_ / "plain").string(), "cannot write " + (dir_ / "plain").string() + ": not a folder"},
        {"a folder named pano.txt", (dir_ / "taken").string(), "cannot write " + (dir_ / "taken/pano.txt").string() + ": not a regular file"},
    };
    for (const Case& test : cases) EXPECT_EQ(checkOutputsWritable(test.folder), test.message) << test.what;
}

// Outputs of the user's own names: both replaced, or, when either cannot be written, neither,
// with the file that failed and the reason alone.
TEST_F(OutputFilesTest, NamedOutputsAreReplacedTogetherOrNotAtAll) {
    const OutputFailure done = replaceOutputs((dir_ / "weir.jpg").string(), (dir_ / "weir.txt").string(), image_, 80,
                                              "weir parameters\n");
    EXPECT_FALSE(done.failed()) << done.reason;
    EXPECT_EQ(readFile(dir_ / "weir.txt"), "weir parameters\n" + sectionFor(dir_ / "weir.jpg"));
    JpegHeader header;
    EXPECT_TRUE(readJpegHeader((dir_ / "weir.jpg").string(), header));

    // The parameter file's folder is missing: the panorama, already staged, is not replaced.
    const OutputFailure missing =
        replaceOutputs((dir_ / "pano.jpg").string(), (dir_ / "absent/pano.txt").string(), image_, 80, "x");
    EXPECT_EQ(missing.path, (dir_ / "absent/pano.txt").string());
    EXPECT_EQ(missing.reason, "No such file or directory");
    EXPECT_EQ(readFile(dir_ / "pano.jpg"), "earlier panorama");

    Image grey;
    grey.allocate(4, 4, 1);
    const OutputFailure refused =
        replaceOutputs((dir_ / "pano.jpg").string(), (dir_ / "pano.txt").string(), grey, 80, "new");
    EXPECT_EQ(refused.path, (dir_ / "pano.jpg").string());
    EXPECT_EQ(refused.reason, "only a 3-channel image can be written as JPEG");
    EXPECT_EQ(readFile(dir_ / "pano.txt"), "earlier parameters");
    EXPECT_EQ(names(), (std::set<std::string>{"pano.jpg", "pano.txt", "weir.jpg", "weir.txt"}));
    removeOutputTemporaries();  // with no write in progress, nothing to remove
    EXPECT_EQ(names(), (std::set<std::string>{"pano.jpg", "pano.txt", "weir.jpg", "weir.txt"}));
}


// A panorama streamed under the user's own names, saved again under others as a copy of the
// finished file, and a parameter file that would not change left as it is.
TEST_F(OutputFilesTest, NamedStagedOutputsStreamCopyAndLeaveAnUnchangedParameterFile) {
    StagedOutputs streamed((dir_ / "weir.jpg").string(), (dir_ / "weir.txt").string(), 85);
    ASSERT_EQ(streamed.open(), "");
    ASSERT_TRUE(writeToSink(image_, streamed.panorama()));
    ASSERT_EQ(streamed.commit("weir parameters\n"), "");
    EXPECT_EQ(readFile(dir_ / "weir.txt").rfind("weir parameters\n[panorama", 0), 0u);  // then the panorama's checksum

    StagedOutputs copied((dir_ / "copy.jpg").string(), (dir_ / "copy.txt").string(), 85);
    EXPECT_FALSE(copied.panoramaWritten());
    ASSERT_EQ(copied.copyPanorama((dir_ / "weir.jpg").string()), "");
    ASSERT_EQ(copied.commit("copy parameters\n"), "");
    EXPECT_EQ(readFile(dir_ / "copy.jpg"), readFile(dir_ / "weir.jpg"));
    EXPECT_EQ(readFile(dir_ / "copy.txt").rfind("copy parameters\n[panorama", 0), 0u);  // then the panorama's checksum

    StagedOutputs absent((dir_ / "x.jpg").string(), (dir_ / "x.txt").string(), 85);
    EXPECT_EQ(absent.copyPanorama((dir_ / "gone.jpg").string()),
              "cannot read " + (dir_ / "gone.jpg").string() + ": No such file or directory");
    EXPECT_NE(absent.commit("x"), "");
    EXPECT_FALSE(fs::exists(dir_ / "x.jpg"));

    // The same text again: the panorama is replaced, the parameter file is the very same file.
    struct stat before {}, after {};
    ASSERT_EQ(stat((dir_ / "weir.txt").c_str(), &before), 0);
    StagedOutputs again((dir_ / "weir.jpg").string(), (dir_ / "weir.txt").string(), 85);
    ASSERT_EQ(again.copyPanorama((dir_ / "copy.jpg").string()), "");
    ASSERT_EQ(again.commit("weir parameters\n"), "");
    ASSERT_EQ(stat((dir_ / "weir.txt").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    StagedOutputs changed((dir_ / "weir.jpg").string(), (dir_ / "weir.txt").string(), 85);
    ASSERT_EQ(changed.copyPanorama((dir_ / "copy.jpg").string()), "");
    ASSERT_EQ(changed.commit("other parameters\n"), "");
    EXPECT_EQ(readFile(dir_ / "weir.txt").rfind("other parameters\n[panorama", 0), 0u);  // then the panorama's checksum
    EXPECT_EQ(names(), (std::set<std::string>{"copy.jpg", "copy.txt", "pano.jpg", "pano.txt", "weir.jpg", "weir.txt"}));
}

}  // namespace
}  // namespace vantorra
