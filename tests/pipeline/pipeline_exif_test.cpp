// Photographs stored on their side with an EXIF orientation, and photographs whose EXIF block
// gives a focal length, through the whole pipeline.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "io/jpeg.h"
#include "io/photo_exif.h"
#include "pipeline/stitcher.h"
#include "support/exif_jpeg.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

const std::vector<std::string> kViews{"DSC_0100.jpg", "DSC_0135.jpg", "DSC_0114.jpg"};

struct Pixels {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

Pixels decoded(const std::string& path) {
    Pixels p;
    std::string error;
    EXPECT_TRUE(readJpeg(path, p.rgb, p.width, p.height, &error)) << error;
    return p;
}

// A quarter turn, clockwise or not.
Pixels turned(const Pixels& in, bool clockwise) {
    Pixels out{in.height, in.width, std::vector<uint8_t>(in.rgb.size())};
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const int sx = clockwise ? y : in.width - 1 - y;
            const int sy = clockwise ? in.height - 1 - x : x;
            for (int k = 0; k < 3; ++k)
                out.rgb[(static_cast<size_t>(y) * out.width + x) * 3 + k] =
                    in.rgb[(static_cast<size_t>(sy) * in.width + sx) * 3 + k];
        }
    return out;
}

struct StitchRun {
    Stitcher stitcher;
    Image output;
};

// Writes the views into `dir` as `orientation` asks to store them (1: upright, 6: turned a
// quarter anticlockwise, so that the tag turns them back; 8: the other way), and stitches them.
// Returns the run's log.
std::string stitchStored(StitchRun& run, const test::TempDir& dir, int orientation, const std::vector<uint8_t>& extraExif = {}) {
    std::vector<std::string> names;
    for (const std::string& view : kViews) {
        const Pixels upright = decoded(test::testData("matching/row6") + view);
        const Pixels stored = orientation == 1 ? upright : turned(upright, orientation == 8);
        std::vector<std::vector<uint8_t>> app1;
        if (orientation != 1) app1.push_back(tagged::ExifBlock().orientation(orientation).bytes());
        if (!extraExif.empty()) app1.push_back(extraExif);
        const std::string name = std::to_string(orientation) + "_" + view;
        tagged::writeJpegWithApp1(dir.file(name), stored.rgb, stored.width, stored.height, 3, app1);
        names.push_back(name);
    }
    run.stitcher.options = test::smallOptions(500, "none");
    test::LogCapture log;
    run.stitcher.stitch(dir.path + "/", names, run.output, log);
    return log.text();
}

// Stored on their side with orientation 6 or 8, the views come out as the upright ones do: the
// same sizes, the same cameras, and an upright panorama of the same shape.
TEST(PipelineExifTest, PhotographsStoredOnTheirSideStitchAsUprightOnes) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    StitchRun upright, six, eight;
    stitchStored(upright, dir, 1);
    stitchStored(six, dir, 6);
    stitchStored(eight, dir, 8);
    ASSERT_EQ(upright.stitcher.component().size(), 3u);
    for (StitchRun* run : {&six, &eight}) {
        ASSERT_EQ(run->stitcher.component().size(), 3u);
        EXPECT_EQ(run->stitcher.photographs()[0].size.width, upright.stitcher.photographs()[0].size.width);
        EXPECT_EQ(run->stitcher.photographs()[0].size.height, upright.stitcher.photographs()[0].size.height);
        for (size_t a = 0; a < 3; ++a) {
            const Camera& ca = run->stitcher.cameras()[a];
            const Camera& ua = upright.stitcher.cameras()[a];
            EXPECT_NEAR(ca.f, ua.f, 0.005f * ua.f) << a;
            for (size_t b = a + 1; b < 3; ++b)
                EXPECT_LT(test::rotationAngleDegrees(multiply(ca.R, transpose(run->stitcher.cameras()[b].R)),
                                                     multiply(ua.R, transpose(upright.stitcher.cameras()[b].R))),
                          0.05)
                    << a << "-" << b;
        }
        EXPECT_NEAR(run->output.cols, upright.output.cols, 2);
        EXPECT_NEAR(run->output.rows, upright.output.rows, 2);
    }
    EXPECT_GT(upright.output.cols, upright.output.rows);  // a row of landscape views: wide
}

// A focal length in the EXIF block seeds the cameras; without one the size rule does.
TEST(PipelineExifTest, TheExifFocalLengthSeedsTheCameras) {
    const ImageSize full{1200, 800, 3};
    BundleAdjustOptions options;
    PhotoExif exif;
    EXPECT_EQ(seedFocal(full, 1, exif, options), 600.0f);  // the larger side of the feature image
    options.focalFromImage = false;
    EXPECT_EQ(seedFocal(full, 1, exif, options), options.defaultFocal);
    exif.focalPixels = 1500.0f;
    EXPECT_EQ(seedFocal(full, 1, exif, options), 750.0f);  // in pixels of the halved feature image

    // The block of a 35-mm-equivalent 28 mm lens on 600 x 400 views: the log names it, and the
    // cameras start from it.
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    StitchRun run;
    const std::vector<uint8_t> focal =
        tagged::ExifBlock().integer(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM, 28).bytes();
    const std::string text = stitchStored(run, dir, 1, focal);
    EXPECT_NE(text.find("EXIF focal length 28 mm"), std::string::npos) << text;
    const float expected = 28.0f / kFullFrameDiagonalMm * std::hypot(600.0f, 400.0f);
    const std::vector<PhotoExif> read = readPhotoExif(dir.path + "/", {"1_" + kViews[0]}, {ImageSize{600, 400, 3}});
    ASSERT_EQ(read.size(), 1u);
    EXPECT_NEAR(read[0].focalPixels, expected, 0.01f * expected);
    EXPECT_EQ(read[0].focal35mm, 28.0f);
}

// The same EXIF focal length, far too long, on every view through a distorting lens (as a
// converter may write it): seeded with it, the adjustment settles on a wrong focal length and a
// lens that bends the other way. The size rule's seed fits the matches better and is kept, so
// the cameras and the lens come out as without the EXIF blocks, and the log says why.
TEST(PipelineExifTest, AnExifFocalLengthThatFitsWorseThanTheSizeRuleIsIgnored) {
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string lens5 = test::testData("matching/lens5");
    const std::vector<uint8_t> block =
        tagged::ExifBlock().integer(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM, 400).bytes();
    std::vector<uint8_t> segment = {0xFF, 0xE1, static_cast<uint8_t>((block.size() + 2) >> 8),
                                    static_cast<uint8_t>((block.size() + 2) & 0xFF)};
    segment.insert(segment.end(), block.begin(), block.end());
    const std::vector<std::string> names = test::jpegNames(lens5);
    for (const std::string& name : names) {
        std::ifstream in(lens5 + name, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        bytes.insert(2, std::string(segment.begin(), segment.end()));  // the same coded image
        std::ofstream(dir.file(name), std::ios::binary) << bytes;
    }
    StitchRun plain, tagged;
    for (StitchRun* run : {&plain, &tagged}) run->stitcher.options.render.renderEnabled = false;
    test::LogCapture quiet, log;
    plain.stitcher.stitch(lens5, names, plain.output, quiet);
    tagged.stitcher.stitch(dir.path + "/", names, tagged.output, log);
    EXPECT_NE(log.text().find("EXIF focal lengths ignored"), std::string::npos) << log.text();
    ASSERT_EQ(tagged.stitcher.component().size(), 5u);
    ASSERT_EQ(plain.stitcher.component().size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        const Camera& a = tagged.stitcher.cameras()[i];
        const Camera& b = plain.stitcher.cameras()[i];
        EXPECT_NEAR(a.f, b.f, 0.001f * b.f) << i;
        EXPECT_NEAR(a.lens.k1, b.lens.k1, 0.001f) << i;
    }
    EXPECT_LT(plain.stitcher.cameras()[0].lens.k1, 0.0f);  // barrel, as the lens is
}

}  // namespace
}  // namespace vantorra
