#include "io/log_destination.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace vantorra {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class LogDestinationTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory = fs::temp_directory_path() /
                    ("vantorra_log_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory);
        logFile = directory / LogDestination::kLogFileName;
        // Stand in for the terminal so the tests can see what reaches it.
        original = std::cout.rdbuf(terminal.rdbuf());
    }
    void TearDown() override {
        std::cout.rdbuf(original);
        fs::remove_all(directory);
    }

    fs::path directory;
    fs::path logFile;
    std::ostringstream terminal;
    std::streambuf* original = nullptr;
};

TEST_F(LogDestinationTest, FileIsEmptiedOrAppended) {
    {
        std::ofstream(logFile) << "old run\n";
    }
    {
        LogDestination log(LogDestination::File, false, logFile);
        ASSERT_TRUE(log.ok());
        log.stream() << "first" << std::endl;
    }
    EXPECT_EQ(contents(logFile), "first\n");
    {
        LogDestination log(LogDestination::File, true, logFile);
        ASSERT_TRUE(log.ok());
        log.stream() << "second" << std::endl;
        EXPECT_TRUE(log.close());
        log.stream() << "after closing" << std::endl;  // discarded, not written to a closed file
    }
    EXPECT_EQ(contents(logFile), "first\nsecond\n");
    EXPECT_EQ(terminal.str(), "");
}

// Only the console mode writes to the standard output stream, and every mode leaves that stream
// as it found it: a run's log never takes over the program's output.
TEST_F(LogDestinationTest, OnlyTheConsoleReachesTheTerminalAndItIsLeftAsItWas) {
    for (int mode : {LogDestination::Console, LogDestination::File, LogDestination::None}) {
        {
            LogDestination log(mode, false, logFile);
            ASSERT_TRUE(log.ok()) << mode;
            log.stream() << "during " << mode << std::endl;
            std::cout << "program " << mode << "\n";
            EXPECT_EQ(std::cout.rdbuf(), terminal.rdbuf()) << mode;
        }
        EXPECT_EQ(std::cout.rdbuf(), terminal.rdbuf()) << mode;
        EXPECT_FALSE(std::cout.flags() & std::ios::unitbuf) << mode;
    }
    EXPECT_EQ(terminal.str(), "during 0\nprogram 0\nprogram 1\nprogram 2\n");
    EXPECT_EQ(contents(logFile), "during 1\n");
}

TEST_F(LogDestinationTest, NoneDiscardsEverything) {
    {
        LogDestination log(LogDestination::None, false);
        ASSERT_TRUE(log.ok());
        log.stream() << "lost" << 42 << std::endl;
        EXPECT_TRUE(log.stream().good());
    }
    EXPECT_EQ(terminal.str(), "");
    EXPECT_FALSE(fs::exists(logFile));
}

TEST_F(LogDestinationTest, UnopenableFileIsReportedAndDiscards) {
    LogDestination log(LogDestination::File, false, directory / "missing" / "log.txt");
    EXPECT_FALSE(log.ok());
    EXPECT_NE(log.error().find("log.txt"), std::string::npos);
    log.stream() << "nowhere\n";
    EXPECT_EQ(terminal.str(), "");
}

TEST_F(LogDestinationTest, UnknownModeIsReported) {
    LogDestination log(7, false, logFile);
    EXPECT_FALSE(log.ok());
    EXPECT_EQ(std::cout.rdbuf(), terminal.rdbuf());
}

}  // namespace
}  // namespace vantorra
