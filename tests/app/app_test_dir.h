#pragma once
// A fresh, empty current directory for one test, removed afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vantorra::testing {

// The whole content of a file, empty when it cannot be read.
inline std::string fileContents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class InTempDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 ("vantorra_app_" + std::string(info->test_suite_name()) + "_" + info->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }
    // Creates a file with some content and returns its full path.
    std::string touch(const std::string& name, const std::string& content = "x") const {
        const std::filesystem::path path = folder / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << content;
        return path.string();
    }
    std::string path(const std::string& name) const { return (folder / name).string(); }

    std::filesystem::path previous;
    std::filesystem::path folder;
};

}  // namespace vantorra::testing
