// Which chosen files are stitched, and in what order.

#include "app/image_selection.h"

#include <gtest/gtest.h>

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

class KeptImagesTest : public InTempDirectory {};

TEST_F(KeptImagesTest, RotatesThenKeepsReadableJpegsExceptThePanorama) {
    const std::string p = touch("P.jpg"), q = touch("Q.JPG"), r = touch("R.jpg");
    const std::string pano = touch("pano.jpg"), text = touch("notes.txt"), png = touch("S.png");
    const std::string missing = path("gone.jpg");
    EXPECT_EQ(keptImages({r, p, q}), (Names{p, q, r}));
    EXPECT_EQ(keptImages({pano, p, q}), (Names{p, q}));
    EXPECT_EQ(keptImages({r, text, png, missing, p}), (Names{p, r}));
    EXPECT_EQ(keptImages({}), Names{});
    // The round trip through the dialog's order gives name order for any selection order.
    EXPECT_EQ(keptImages(dialogReturnOrder({q, r, p})), (Names{p, q, r}));
}

TEST_F(KeptImagesTest, JudgesTheFileNameNotTheFolder) {
    const std::string inPanoFolder = touch("pano.jpg.d/a.jpg"), other = touch("pano.jpg.d/b.jpg");
    const std::string notJpeg = touch("x.jpg.d/readme");
    EXPECT_EQ(keptImages({other, inPanoFolder, notJpeg}), (Names{inPanoFolder, other}));
}

TEST(ParameterFileNameTest, AcceptsTheFourMarkers) {
    for (const char* name : {"/d/pano.txt", "/d/PANO.TXT", "/d/old.ast", "/d/OLD.AST", "/d/a.txt.bak"}) {
        EXPECT_TRUE(isParameterFileName(name)) << name;
    }
    for (const char* name : {"/d/a.jpg", "/d/a.Txt", "/d.txt/a.jpg", "/d/text"}) {
        EXPECT_FALSE(isParameterFileName(name)) << name;
    }
}

}  // namespace
}  // namespace vantorra::testing
