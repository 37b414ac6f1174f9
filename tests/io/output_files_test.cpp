#include "io/output_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "core/cancel_flag.h"
#include "core/image.h"
#include "io/jpeg.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
    EXPECT_EQ(readFile(dir_ / "pano.txt"), "new parameters\n");
    JpegHeader header;
    ASSERT_TRUE(readJpegHeader((dir_ / "pano.jpg").string(), header));
    EXPECT_EQ(header.width, 20);
    EXPECT_EQ(header.height, 12);
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
    EXPECT_EQ(readFile(dir_ / "weir.txt"), "weir parameters\n");
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
    EXPECT_EQ(readFile(dir_ / "weir.txt"), "weir parameters\n");

    StagedOutputs copied((dir_ / "copy.jpg").string(), (dir_ / "copy.txt").string(), 85);
    EXPECT_FALSE(copied.panoramaWritten());
    ASSERT_EQ(copied.copyPanorama((dir_ / "weir.jpg").string()), "");
    ASSERT_EQ(copied.commit("copy parameters\n"), "");
    EXPECT_EQ(readFile(dir_ / "copy.jpg"), readFile(dir_ / "weir.jpg"));
    EXPECT_EQ(readFile(dir_ / "copy.txt"), "copy parameters\n");

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
    EXPECT_EQ(readFile(dir_ / "weir.txt"), "other parameters\n");
    EXPECT_EQ(names(), (std::set<std::string>{"copy.jpg", "copy.txt", "pano.jpg", "pano.txt", "weir.jpg", "weir.txt"}));
}

}  // namespace
}  // namespace vantorra
