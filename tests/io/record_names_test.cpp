#include "io/record_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/pipeline_support.h"

namespace vantorra {
namespace {

TEST(RecordNamesTest, InsideTheFolderRelativeElsewhereAbsolute) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const test::WorkingDirectory inside(dir.path);
    const std::string top = std::filesystem::current_path().string();
    struct Case {
        std::string path, folder, recorded;
    };
    const Case cases[] = {
        {top + "/out/a.jpg", top + "/out", "a.jpg"},
        {top + "/out/photos/b.jpg", top + "/out", "photos/b.jpg"},
        {"out/photos/../c.jpg", "out", "c.jpg"},          // relative to the current directory
        {"photos/d.jpg", ".", "photos/d.jpg"},
        {top + "/photos/e.jpg", top + "/out", top + "/photos/e.jpg"},
        {"photos/f.jpg", "out", top + "/photos/f.jpg"},   // beside the folder, not below it
        {top + "/outside/g.jpg", top + "/out", top + "/outside/g.jpg"},  // a name that starts alike
        {"/h.jpg", top + "/out", "/h.jpg"},
        {"i j.jpg", "", "i j.jpg"},                       // no folder: as given
    };
    for (const Case& c : cases) EXPECT_EQ(recordedName(c.path, c.folder), c.recorded) << c.path << " in " << c.folder;
}

TEST(RecordNamesTest, ReadAgainstTheFilesFolderOrWhereAnEarlierFileMeantThem) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const test::WorkingDirectory inside(dir.path);
    std::filesystem::create_directories("out/photos");
    std::filesystem::create_directories("rr");
    std::ofstream("out/photos/a.jpg") << "x";
    std::ofstream("rr/b.jpg") << "x";   // named by an earlier file in out/ as "rr/b.jpg"
    std::ofstream("out/c.jpg") << "x";
    std::ofstream("c.jpg") << "x";      // both places: the file's folder wins
    struct Case {
        std::string name, folder, resolved;
    };
    const Case cases[] = {
        {"photos/a.jpg", "out", "out/photos/a.jpg"},
        {"rr/b.jpg", "out", "rr/b.jpg"},
        {"c.jpg", "out", "out/c.jpg"},
        {"gone.jpg", "out", "out/gone.jpg"},  // nowhere: the file's folder, for the message
        {"/abs/d.jpg", "out", "/abs/d.jpg"},
        {"e.jpg", "", "e.jpg"},
    };
    for (const Case& c : cases) EXPECT_EQ(resolvedName(c.name, c.folder), c.resolved) << c.name;
    EXPECT_EQ(folderOfFile("out/pano.txt"), "out");
    EXPECT_EQ(folderOfFile("pano.txt"), "");
    EXPECT_EQ(folderOfFile("/pano.txt"), "/");
}

}  // namespace
}  // namespace vantorra
