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

TEST_F(KeptImagesTest, RotatesThenKeepsReadablePhotographsExceptTheOutput) {
    const std::string p = touch("P.jpg"), q = touch("Q.JPG"), r = touch("R.jpeg");
    const std::string pano = touch("pano.jpg"), text = touch("notes.txt"), png = touch("S.png");
    const std::string namedLikeIt = touch("weir1_pano.jpg");
    const std::string missing = path("gone.jpg");
    const std::string output = path("pano.jpg");
    EXPECT_EQ(keptImages({r, p, q}, output), (Names{p, q, r}));
    EXPECT_EQ(keptImages({pano, p, q}, output), (Names{p, q}));
    EXPECT_EQ(keptImages({r, text, png, missing, p}, output), (Names{p, r}));
    EXPECT_EQ(keptImages({namedLikeIt, pano, p}, output), (Names{p, namedLikeIt}));
    EXPECT_EQ(keptImages({}, output), Names{});
    // The round trip through the dialog's order gives name order for any selection order.
    EXPECT_EQ(keptImages(dialogReturnOrder({q, r, p}), output), (Names{p, q, r}));
}

TEST_F(KeptImagesTest, AnEarlierPanoramaElsewhereIsAPhotographLikeAnyOther) {
    const std::string inPanoFolder = touch("pano.jpg.d/a.jpg"), other = touch("pano.jpg.d/b.jpg");
    const std::string notJpeg = touch("x.jpg.d/readme");
    const std::string elsewhere = touch("old/pano.jpg");
    EXPECT_EQ(keptImages({other, inPanoFolder, notJpeg, elsewhere}, path("pano.jpg")),
              (Names{inPanoFolder, elsewhere, other}));
}

}  // namespace
}  // namespace vantorra::testing
