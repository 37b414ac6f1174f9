// The one rule both front ends use to tell photographs, parameter files and the output apart.

#include "io/photo_selection.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vantorra {
namespace {

TEST(PhotoSelectionTest, EachNameIsAPhotographAParameterFileTheOutputOrNothing) {
    const std::string output = "/photos/pano.jpg";
    const struct {
        const char* path;
        bool photograph;
        bool parameterFile;
        bool kept;  // by selectPhotographs with `output`
    } cases[] = {
        {"/photos/a.jpg", true, false, true},
        {"/photos/B.JPG", true, false, true},
        {"/photos/C.JPEG", true, false, true},
        {"/photos/d.jpeg", true, false, true},
        {"/photos/e.Jpe", true, false, true},
        {"/photos/x_pano.jpg", true, false, true},   // merely named like the output
        {"/photos/weir1_pano.jpg", true, false, true},
        {"/photos/pano.jpg", true, false, false},    // the output itself
        {"/photos/../photos/pano.jpg", true, false, false},
        {"/elsewhere/pano.jpg", true, false, true},  // an earlier result in another folder
        {"/photos/a.txt", false, true, false},
        {"/photos/b.ast", false, true, false},
        {"/photos/OLD.AST", false, true, false},
        {"/photos/saved.TXT", false, true, false},
        {"/photos/noextension", false, false, false},
        {"/photos/.jpg", false, false, false},       // only an extension, no name
        {"/photos/a.jpg.bak", false, false, false},
        {"/photos.jpg/readme", false, false, false}, // the folder's name does not count
        {"/photos/a.png", true, false, true},
        {"/photos/B.TIFF", true, false, true},
        {"/photos/c.Tif", true, false, true},
        {"/photos/d.heic", true, false, true},
        {"/photos/e.HEIF", true, false, true},
        {"/photos/f.gif", false, false, false},
        {"/photos/.png", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(isPhotographName(c.path), c.photograph);
        EXPECT_EQ(isParameterFileName(c.path), c.parameterFile);
        const PhotoSelection selection = selectPhotographs({c.path}, output);
        EXPECT_EQ(selection.photographs.size(), c.kept ? 1u : 0u);
        EXPECT_EQ(selection.skipped.size(), c.kept ? 0u : 1u);
    }
}

TEST(PhotoSelectionTest, KeepsTheOrderGivenAndSaysWhyAFileWasLeftOut) {
    const PhotoSelection selection =
        selectPhotographs({"r.jpg", "notes.md", "pano.jpg", "p.JPEG", "q.jpe"}, "pano.jpg");
    EXPECT_EQ(selection.photographs, (std::vector<std::string>{"r.jpg", "p.JPEG", "q.jpe"}));
    ASSERT_EQ(selection.skipped.size(), 2u);
    EXPECT_EQ(selection.skipped[0].path, "notes.md");
    EXPECT_EQ(selection.skipped[0].reason, kNotAPhotograph);
    EXPECT_EQ(selection.skipped[1].path, "pano.jpg");
    EXPECT_EQ(selection.skipped[1].reason, "the panorama about to be written");
}

TEST(PhotoSelectionTest, RelativeAndAbsoluteNamesOfOneFileAreTheSame) {
    const std::string here = std::filesystem::current_path().string();
    EXPECT_TRUE(isSameFile("pano.jpg", here + "/pano.jpg"));
    EXPECT_TRUE(isSameFile("./sub/../pano.jpg", "pano.jpg"));
    EXPECT_FALSE(isSameFile("pano.jpg", "other/pano.jpg"));
    EXPECT_FALSE(isSameFile("pano.jpg", ""));
}

}  // namespace
}  // namespace vantorra
