#include "io/photo_region.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "io/jpeg.h"
#include "io/panorama_file_sink.h"
#include "io/photo_image.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

void expectRegionsCut(const std::string& path, const std::vector<uint8_t>& whole, int width) {
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
        ASSERT_TRUE(readPhotoRegion(path, c.left, c.top, c.width, c.height, region, &error)) << error;
        ASSERT_EQ(region.cols, c.cols);
        ASSERT_EQ(region.rows, c.rows);
        for (int r = 0; r < c.rows; ++r)
            for (int x = 0; x < c.cols * 3; ++x)
                ASSERT_EQ(region.data[static_cast<size_t>(r) * c.cols * 3 + x],
                          whole[(static_cast<size_t>(c.y0 + r) * width + c.x0) * 3 + x]);
    }
    Image none;
    std::string error;
    EXPECT_FALSE(readPhotoRegion(path, 100, 0, 10, 10, none, &error));
    EXPECT_NE(error.find("outside"), std::string::npos);
    EXPECT_TRUE(none.empty());
}

// The image in `format`, written as a panorama is (JPEG decoded again: its bytes are lossy).
std::string writtenAs(const test::TempDir& dir, const Image& image, PanoramaFormat format) {
    const std::string path = dir.file(panoramaFileName(format));
    const PanoramaEncoding encoding{format, 8, 90, {}};
    std::unique_ptr<FileSink> sink = makeFileSink(std::fopen(path.c_str(), "wb"), path, encoding);
    if (!sink->begin(image.cols, image.rows) || !sink->writeRows(image.data.data(), image.rows) || !sink->finish())
        return {};
    return path;
}

// Every format a panorama is written in: a rectangle is the same pixels as the whole image cut.
TEST(PhotoRegionTest, ARectangleIsTheSamePixelsAsTheWholeImageCut) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    Image image;
    image.allocate(70, 90, 3);
    for (int r = 0; r < image.rows; ++r)
        for (int c = 0; c < image.cols; ++c)
            for (int k = 0; k < 3; ++k) image.at(r, c, k) = static_cast<uint8_t>((r * 3 + c * 5 + k * 60) % 256);
    for (const PanoramaFormat format : {PanoramaFormat::Jpeg, PanoramaFormat::Tiff, PanoramaFormat::Png}) {
        SCOPED_TRACE(panoramaFormatName(format));
        const std::string path = writtenAs(dir, image, format);
        ASSERT_FALSE(path.empty());
        std::vector<uint8_t> whole = image.data;
        if (format == PanoramaFormat::Jpeg) {
            int width = 0, height = 0;
            ASSERT_TRUE(readJpeg(path, whole, width, height));
        }
        expectRegionsCut(path, whole, image.cols);
    }
    Image none;
    std::string error;
    EXPECT_FALSE(readPhotoRegion(dir.file("absent.jpg"), 0, 0, 10, 10, none, &error));
    EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace vantorra
