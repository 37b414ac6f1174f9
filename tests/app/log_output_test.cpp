// Where the engine's log lines go during a run, for each of the three destinations.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "app/vantorra_commands.h"
#include "app_fakes.h"
#include "app_test_dir.h"

namespace vantorra::testing {
namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream file(path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The terminal's standard output, replaced by a string for the length of a test.
class LogOutputTest : public InTempDirectory {
protected:
    void SetUp() override {
        InTempDirectory::SetUp();
        saved = std::cout.rdbuf(terminal.rdbuf());
        commands = std::make_unique<VantorraCommands>(engine, platform);
    }
    void TearDown() override {
        std::cout.rdbuf(saved);
        InTempDirectory::TearDown();
    }
    void openTwo() {
        platform.choices.push_back(std::vector<std::string>{touch("b.jpg"), touch("a.jpg")});
        commands->fileOpen();
    }

    std::ostringstream terminal;
    std::streambuf* saved = nullptr;
    FakePlatform platform;
    FakeEngine engine;
    std::unique_ptr<VantorraCommands> commands;
};

TEST_F(LogOutputTest, NoneDiscardsTheRunsLines) {
    ASSERT_EQ(commands->logDestination, 2);
    openTwo();
    commands->stitchStart();
    EXPECT_EQ(terminal.str(), "");
    EXPECT_FALSE(std::filesystem::exists(folder / "log.txt"));
    std::cout << "after" << std::endl;
    EXPECT_EQ(terminal.str(), "after\n");
}

TEST_F(LogOutputTest, ConsoleWritesToTheStandardStream) {
    commands->logDestination = 0;
    openTwo();
    commands->stitchStart();
    EXPECT_EQ(terminal.str(), "stitch 2\nrender\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "log.txt"));
}

TEST_F(LogOutputTest, FileIsEmptiedByOpenAndAppendedByStart) {
    commands->logDestination = 1;
    touch("log.txt", "from an earlier session\n");
    openTwo();
    EXPECT_EQ(readAll(folder / "log.txt"), "stitch 2\n");
    commands->stitchStart();
    EXPECT_EQ(readAll(folder / "log.txt"), "stitch 2\nrender\n");
    openTwo();
    EXPECT_EQ(readAll(folder / "log.txt"), "stitch 2\n");
    EXPECT_EQ(terminal.str(), "");
    // The standard stream is back on the terminal once the run is over.
    std::cout << "after" << std::endl;
    EXPECT_EQ(terminal.str(), "after\n");
    EXPECT_EQ(readAll(folder / "log.txt"), "stitch 2\n");
}

}  // namespace
}  // namespace vantorra::testing
