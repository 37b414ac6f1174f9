#include "io/input_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/cancel_flag.h"
#include "core/image.h"
#include "io/jpeg.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

class InputFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vantorra-inputs-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        photograph_ = (dir_ / "view.jpg").string();
        fs::copy_file(fs::path(VANTORRA_TEST_DATA) / "features/view_600x400.jpg", photograph_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    bool read(const std::string& path, std::string& error) {
        FloatImage image;
        return readPhoto(path, image, &error);
    }

    fs::path dir_;
    std::string photograph_;
};

// A FIFO, a folder and a device named like photographs are refused at once, not waited on, with
// the reason; a FIFO would otherwise block the open until a writer came.
TEST_F(InputFilesTest, OnlyRegularFilesAreOpenedAndNothingWaits) {
    ASSERT_EQ(mkfifo((dir_ / "fifo.jpg").c_str(), 0600), 0);
    fs::create_directories(dir_ / "folder.jpg");
    struct Case {
        std::string path, reason;
    };
    const Case cases[] = {
        {(dir_ / "fifo.jpg").string(), (dir_ / "fifo.jpg").string() + ": not a regular file"},
        {(dir_ / "folder.jpg").string(), (dir_ / "folder.jpg").string() + ": not a regular file (a folder)"},
        {"/dev/zero", "/dev/zero: not a regular file"},
        {(dir_ / "absent.jpg").string(), "can't open " + (dir_ / "absent.jpg").string() + ": No such file or directory"},
    };
    const auto start = std::chrono::steady_clock::now();
    for (const Case& test : cases) {
        EXPECT_EQ(inputFileProblem(test.path), test.reason);
        std::string error;
        EXPECT_FALSE(read(test.path, error));
        EXPECT_EQ(error, test.reason);
        JpegHeader header;
        EXPECT_FALSE(readJpegHeader(test.path, header, &error));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(inputFileProblem(photograph_), "");
}

// Within a run, a photograph read again must be the one first read: cut short, rewritten in
// place with the same size, or replaced by another file, it fails every later read with one
// message, which the run keeps. Outside a run nothing is compared.
TEST_F(InputFilesTest, APhotographThatChangesDuringTheRunFailsItsLaterReads) {
    std::ifstream in(photograph_, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string flipped = bytes, flippedLate = bytes;
    flipped[100] = static_cast<char>(flipped[100] ^ 0x01);
    ASSERT_GT(bytes.size(), size_t{70000});  // beyond the start that is hashed
    flippedLate[bytes.size() - 5000] = static_cast<char>(flippedLate[bytes.size() - 5000] ^ 0x01);
    struct Case {
        const char* what;
        std::string replacement;
        bool sameInode;
        bool timeKept;  // the modification time put back, as a copy that keeps times does
    };
    const Case cases[] = {
        {"cut short", bytes.substr(0, bytes.size() / 2), true, false},
        {"one byte of its header changed", flipped, true, false},
        {"a byte past its start changed, its time put back", flippedLate, true, true},
        {"replaced by a copy", bytes, false, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        std::ofstream(photograph_, std::ios::binary | std::ios::trunc) << bytes;
        std::string error;
        {
            const InputWatch watch(nullptr);
            ASSERT_TRUE(read(photograph_, error)) << error;
            ASSERT_TRUE(read(photograph_, error)) << "the same file twice: " << error;
            const fs::file_time_type time = fs::last_write_time(photograph_);
            // File times move by clock ticks of a few milliseconds: the change comes a tick later.
            if (test.timeKept) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (test.sameInode) {
                std::ofstream(photograph_, std::ios::binary | std::ios::in | std::ios::out) << test.replacement;
                if (test.timeKept) fs::last_write_time(photograph_, time);
                if (test.replacement.size() < bytes.size()) fs::resize_file(photograph_, test.replacement.size());
            } else {
                const std::string copy = (dir_ / "copy.jpg").string();
                std::ofstream(copy, std::ios::binary) << test.replacement;
                fs::rename(copy, photograph_);
            }
            EXPECT_FALSE(read(photograph_, error));
            EXPECT_EQ(error, photograph_ + " changed during the run");
            JpegHeader header;
            EXPECT_FALSE(readJpegHeader(photograph_, header, &error));
            EXPECT_EQ(InputWatch::changedDuringRun(), photograph_ + " changed during the run");
        }
        EXPECT_EQ(InputWatch::changedDuringRun(), "");
        if (test.replacement == bytes) {
            EXPECT_TRUE(read(photograph_, error)) << "outside a run: " << error;
        }
    }
}

// A read of a run that was asked to stop gives up at its next block of data.
TEST_F(InputFilesTest, AReadOfACancelledRunStops) {
    CancelFlag cancel;
    const InputWatch watch(&cancel);
    std::string error;
    EXPECT_TRUE(read(photograph_, error)) << error;
    cancel.request();
    EXPECT_FALSE(read(photograph_, error));
    EXPECT_EQ(error, photograph_ + ": the read was cancelled");
}

}  // namespace
}  // namespace vantorra
