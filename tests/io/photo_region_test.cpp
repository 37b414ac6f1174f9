#include "io/jpeg_region.h"

#include <gtest/gtest.h>

#include "io/jpeg.h"
#include "io/photo_image.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

TEST(JpegRegionTest, ARectangleIsTheSamePixelsAsTheWholeImageCut) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    Image image;
    image.allocate(70, 90, 3);
    for (int r = 0; r < image.rows; ++r)
        for (int c = 0; c < image.cols; ++c)
            for (int k = 0; k < 3; ++k) image.at(r, c, k) = static_cast<uint8_t>((r * 3 + c * 5 + k * 60) % 256);
    const std::string path = dir.file("pano.jpg");
    ASSERT_TRUE(writeJpeg(path, image, 90));
    std::vector<uint8_t> whole;
    int width = 0, height = 0;
    ASSERT_TRUE(readJpeg(path, whole, width, height));

    struct Case {
        int left, top, width, height;
        int x0, y0, cols, rows;  // what is read
    };
    const Case cases[] = {
        {10, 20, 30, 15, 10, 20, 30, 15},
        {0, 0, 90, 70, 0, 0, 90, 70},
        {80, 60, 30, 30, 80, 60, 10, 10},   // cut at the right and bottom
        {-5, -5, 10, 10, 0, 0, 5, 5},       // and at the left and top
        {89, 69, 1, 1, 89, 69, 1, 1},
    };
    for (const Case& c : cases) {
        Image region;
        std::string error;
        ASSERT_TRUE(readJpegRegion(path, c.left, c.top, c.width, c.height, region, &error)) << error;
        ASSERT_EQ(region.cols, c.cols);
        ASSERT_EQ(region.rows, c.rows);
        for (int r = 0; r < c.rows; ++r)
            for (int x = 0; x < c.cols * 3; ++x)
                ASSERT_EQ(region.data[static_cast<size_t>(r) * c.cols * 3 + x],
                          whole[(static_cast<size_t>(c.y0 + r) * width + c.x0) * 3 + x]);
    }
    Image none;
    std::string error;
    EXPECT_FALSE(readJpegRegion(path, 100, 0, 10, 10, none, &error));
    EXPECT_NE(error.find("outside"), std::string::npos);
    EXPECT_FALSE(readJpegRegion(dir.file("absent.jpg"), 0, 0, 10, 10, none, &error));
    EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace vantorra
