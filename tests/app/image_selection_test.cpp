// Which chosen files are stitched, and in what order.

#include "io/photo_selection.h"
#include "app/image_selection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app_test_dir.h"

namespace vantorra::testing {
namespace {

using Names = std::vector<std::string>;

TEST(DialogReturnOrderTest, PutsTheLastOfTheNameOrderFirst) {
    const struct {
        Names selected;
        Names returned;
    } cases[] = {
        {{}, {}},
        {{"/d/a.jpg"}, {"/d/a.jpg"}},
        {{"/d/Q.jpg", "/d/R.jpg", "/d/P.jpg"}, {"/d/R.jpg", "/d/P.jpg", "/d/Q.jpg"}},
        {{"/d/img2.jpg", "/d/img1.jpg"}, {"/d/img2.jpg", "/d/img1.jpg"}},
    };
    for (const auto& c : cases) EXPECT_EQ(dialogReturnOrder(c.selected), c.returned);
}

class ChooseImagesTest : public InTempDirectory {};

TEST_F(ChooseImagesTest, RotatesThenKeepsReadablePhotographsExceptTheOutput) {
    const std::string p = touch("P.jpg"), q = touch("Q.JPG"), r = touch("R.jpeg");
    const std::string pano = touch("pano.jpg"), text = touch("notes.txt"), png = touch("S.gif");
    const std::string namedLikeIt = touch("weir1_pano.jpg");
    const std::string missing = path("gone.jpg");
    const auto kept = [](std::vector<std::string> chosen) { return chooseImages(std::move(chosen)).photographs; };
    EXPECT_EQ(kept({r, p, q}), (Names{p, q, r}));
    EXPECT_EQ(kept({pano, p, q}), (Names{p, q}));
    EXPECT_EQ(kept({r, text, png, missing, p}), (Names{p, r}));
    EXPECT_EQ(kept({namedLikeIt, pano, p}), (Names{p, namedLikeIt}));
    EXPECT_EQ(kept({}), Names{});
    // The round trip through the dialog's order gives name order for any selection order.
    EXPECT_EQ(kept(dialogReturnOrder({q, r, p})), (Names{p, q, r}));
    // Every path left out has its reason, in the order chosen.
    const ImageChoice choice = chooseImages({r, text, png, missing, pano, p});
    std::vector<std::pair<std::string, std::string>> leftOut;
    for (const SkippedFile& file : choice.leftOut) leftOut.emplace_back(file.path, file.reason);
    EXPECT_EQ(leftOut, (std::vector<std::pair<std::string, std::string>>{
                           {text, "a parameter file is opened alone, not with photographs"},
                           {png, kNotAPhotograph},
                           {missing, "No such file or directory"},
                           {pano, "the panorama about to be written"}}));
    EXPECT_EQ(choice.folder, folder.string());
}

TEST_F(ChooseImagesTest, AnEarlierPanoramaElsewhereIsAPhotographLikeAnyOther) {
    const std::string inPanoFolder = touch("pano.jpg.d/a.jpg"), other = touch("pano.jpg.d/b.jpg");
    const std::string notJpeg = touch("x.jpg.d/readme");
    const std::string elsewhere = touch("old/pano.jpg");
    const ImageChoice choice = chooseImages({other, inPanoFolder, notJpeg, elsewhere});
    EXPECT_EQ(choice.photographs, (Names{inPanoFolder, elsewhere, other}));
    EXPECT_EQ(choice.folder, path("pano.jpg.d"));
}

// The outputs go beside the photographs, never into the folder of a path that was left out, nor
// beside an earlier panorama that only happens to come first.
TEST_F(ChooseImagesTest, TheOutputsGoToTheFolderOfThePhotographsKept) {
    const std::string a = touch("set/a.jpg"), b = touch("set/b.jpg"), old = touch("archive/pano.jpg");
    const std::string fifo = path("set/pipe.jpg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const ImageChoice choice = chooseImages({b, path("absent/x.jpg"), old, fifo, a});
    EXPECT_EQ(choice.folder, path("set"));
    EXPECT_EQ(choice.photographs, (Names{old, a, b}));
    ASSERT_EQ(choice.leftOut.size(), 2u);
    EXPECT_EQ(choice.leftOut[1].path, fifo);
    EXPECT_EQ(choice.leftOut[1].reason, "not a regular file");
    // Folders open their photographs, in name order.
    touch("set/readme.txt");
    EXPECT_EQ(chooseImages({path("set")}).photographs, (Names{a, b}));
}

}  // namespace
}  // namespace vantorra::testing
