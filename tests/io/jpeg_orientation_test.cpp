// The JPEG readers deliver photographs upright, as their EXIF orientation asks. Each tagged file
// holds the same coded image as an untagged one, so its decode must be the untagged decode turned
// and mirrored, byte for byte.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "io/jpeg.h"
#include "support/exif_jpeg.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;
using tagged::ExifBlock;

// Stored size: not square, odd in both directions so that scaled sides round up.
constexpr int kWidth = 25;
constexpr int kHeight = 17;

struct Raster {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
    bool operator==(const Raster&) const = default;
};

// A quarter turn clockwise: the bottom-left corner goes to the top left.
Raster turnClockwise(const Raster& in) {
    Raster out{in.height, in.width, std::vector<uint8_t>(in.rgb.size())};
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) std::copy_n(in.at(y, in.height - 1 - x), 3, &out.rgb[(static_cast<size_t>(y) * out.width + x) * 3]);
    return out;
}

Raster mirrorLeftRight(const Raster& in) {
    Raster out = in;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) std::copy_n(in.at(in.width - 1 - x, y), 3, &out.rgb[(static_cast<size_t>(y) * in.width + x) * 3]);
    return out;
}

// The stored image as the orientation asks it to be shown, built from turns and one mirror.
Raster upright(const Raster& stored, int orientation) {
    const auto turns = [](Raster r, int quarters) {
        for (int i = 0; i < quarters; ++i) r = turnClockwise(r);
        return r;
    };
    switch (orientation) {
        case 2: return mirrorLeftRight(stored);
        case 3: return turns(stored, 2);
        case 4: return turns(mirrorLeftRight(stored), 2);                    // top to bottom
        case 5: return mirrorLeftRight(turns(stored, 1));                    // main diagonal
        case 6: return turns(stored, 1);
        case 7: return turns(mirrorLeftRight(turns(stored, 1)), 2);          // other diagonal
        case 8: return turns(stored, 3);
        default: return stored;
    }
}

class CollectingSink : public JpegRowSink {
public:
    bool begin(int width, int height) override {
        raster = {width, height, {}};
        rows = 0;
        return true;
    }
    void row(int index, const uint8_t* rgb) override {
        EXPECT_EQ(index, rows++);
        raster.rgb.insert(raster.rgb.end(), rgb, rgb + static_cast<size_t>(raster.width) * 3);
    }
    Raster raster;
    int rows = 0;
};

class JpegOrientationTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vantorra-orientation-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        untagged_ = write("untagged.jpg", {});
    }
    void TearDown() override { fs::remove_all(dir_); }

    // An empty payload writes no APP1 segment.
    std::string write(const std::string& name, const std::vector<uint8_t>& app1, int components = 3) {
        return writeSegments(name, app1.empty() ? std::vector<std::vector<uint8_t>>{} : std::vector<std::vector<uint8_t>>{app1}, components);
    }
    std::string writeSegments(const std::string& name, const std::vector<std::vector<uint8_t>>& app1,
                              int components = 3) {
        const std::string path = (dir_ / name).string();
        tagged::writeJpegWithApp1(path, tagged::patternSamples(kWidth, kHeight, components), kWidth, kHeight,
                                  components, app1);
        return path;
    }
    std::string withOrientation(int orientation, int components = 3) {
        return write(std::to_string(orientation) + "-" + std::to_string(components) + ".jpg",
                     ExifBlock().orientation(orientation).bytes(), components);
    }

    static Raster decode(const std::string& path) {
        Raster raster;
        std::string error;
        EXPECT_TRUE(readJpeg(path, raster.rgb, raster.width, raster.height, &error)) << error;
        return raster;
    }
    static Raster decodeScaled(const std::string& path, int scale, int firstRow = 0, int rowCount = -1) {
        CollectingSink sink;
        std::string error;
        EXPECT_TRUE(readJpegRowsScaled(path, scale, sink, &error, firstRow, rowCount)) << error;
        EXPECT_EQ(sink.rows, sink.raster.height);
        return sink.raster;
    }

    fs::path dir_;
    std::string untagged_;
};

TEST_F(JpegOrientationTest, EveryOrientationDeliversTheStoredImageTurnedUpright) {
    const Raster stored = decode(untagged_);
    ASSERT_EQ(stored.width, kWidth);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string path = withOrientation(orientation);
        const Raster expected = upright(stored, orientation);
        EXPECT_TRUE(decode(path) == expected) << "orientation " << orientation;
        EXPECT_TRUE(decodeScaled(path, 1) == expected) << "orientation " << orientation;

        JpegHeader header;
        ASSERT_TRUE(readJpegHeader(path, header));
        EXPECT_EQ(header.exif.orientation, orientation);
        EXPECT_EQ(header.exif.ignored, "");
        EXPECT_EQ(header.width, orientation >= 5 ? kHeight : kWidth) << "orientation " << orientation;
        EXPECT_EQ(header.height, orientation >= 5 ? kWidth : kHeight) << "orientation " << orientation;
    }
}

// Straight from the tag's definition: where the stored first row's two ends are shown.
TEST_F(JpegOrientationTest, TheStoredFirstRowEndsUpWhereTheTagSays) {
    const Raster stored = decode(untagged_);
    enum Corner { TopLeft, TopRight, BottomLeft, BottomRight };
    struct Expected {
        Corner rowStart, rowEnd;
    };
    const Expected table[] = {
        {TopLeft, TopRight},     {TopRight, TopLeft},    {BottomRight, BottomLeft}, {BottomLeft, BottomRight},
        {TopLeft, BottomLeft},   {TopRight, BottomRight}, {BottomRight, TopRight},   {BottomLeft, TopLeft},
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const Raster shown = decode(withOrientation(orientation));
        const auto pixel = [&](Corner corner) {
            const int x = corner == TopRight || corner == BottomRight ? shown.width - 1 : 0;
            const int y = corner == BottomLeft || corner == BottomRight ? shown.height - 1 : 0;
            return std::vector<uint8_t>(shown.at(x, y), shown.at(x, y) + 3);
        };
        const Expected& where = table[orientation - 1];
        EXPECT_EQ(pixel(where.rowStart), std::vector<uint8_t>(stored.at(0, 0), stored.at(0, 0) + 3))
            << "orientation " << orientation;
        EXPECT_EQ(pixel(where.rowEnd), std::vector<uint8_t>(stored.at(kWidth - 1, 0), stored.at(kWidth - 1, 0) + 3))
            << "orientation " << orientation;
    }
}

TEST_F(JpegOrientationTest, ScaledReadsAndTheirBandsAreRowsOfTheUprightScaledImage) {
    for (const int scale : {2, 8}) {
        const Raster stored = decodeScaled(untagged_, scale);
        ASSERT_EQ(stored.width, (kWidth + scale - 1) / scale);
        ASSERT_EQ(stored.height, (kHeight + scale - 1) / scale);
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const std::string path = withOrientation(orientation);
            const Raster whole = decodeScaled(path, scale);
            ASSERT_TRUE(whole == upright(stored, orientation)) << "orientation " << orientation << " at 1/" << scale;
            const int height = whole.height;
            const std::pair<int, int> bands[] = {{0, 1}, {1, 3}, {height / 2, 2}, {height - 2, 5}, {height, 3}, {0, 0}};
            for (const auto& [first, count] : bands) {
                const Raster band = decodeScaled(path, scale, first, count);
                const int expectedRows = std::max(0, std::min(count, height - first));
                const auto begin = whole.rgb.begin() + static_cast<ptrdiff_t>(first) * whole.width * 3;
                const Raster expected{whole.width, expectedRows,
                                      {begin, begin + static_cast<ptrdiff_t>(expectedRows) * whole.width * 3}};
                EXPECT_TRUE(band == expected) << "orientation " << orientation << " at 1/" << scale << ", rows "
                                              << first << " + " << count;
            }
        }
    }
}

TEST_F(JpegOrientationTest, GreyAndCmykPhotographsAreTurnedToo) {
    for (const int components : {1, 4}) {
        const Raster stored = decode(write("untagged" + std::to_string(components) + ".jpg", {}, components));
        for (const int orientation : {3, 6, 7}) {
            EXPECT_TRUE(decode(withOrientation(orientation, components)) == upright(stored, orientation))
                << components << " components, orientation " << orientation;
        }
    }
}

TEST_F(JpegOrientationTest, TheExifSegmentIsFoundAmongOtherApp1Segments) {
    // An XMP packet comes first in some files; it is an APP1 segment too.
    const std::string xmp = "http://ns.adobe.com/xap/1.0/";
    std::vector<uint8_t> xmpPayload(xmp.begin(), xmp.end());
    xmpPayload.push_back(0);
    const std::string path = writeSegments("xmp-then-exif.jpg", {xmpPayload, ExifBlock().orientation(8).bytes()});
    EXPECT_TRUE(decode(path) == upright(decode(untagged_), 8));
}

// Only the first EXIF block is kept while the header is read: hundreds of large APP1 segments
// before and after it (each skipped unkept) change nothing, and a later EXIF block is not read.
TEST_F(JpegOrientationTest, OnlyTheFirstExifBlockAmongManyLargeApp1SegmentsCounts) {
    std::vector<uint8_t> filler(60000, 0x5A);
    std::vector<std::vector<uint8_t>> segments(300, filler);
    segments.push_back(ExifBlock().orientation(6).bytes());
    segments.insert(segments.end(), 50, filler);
    segments.push_back(ExifBlock().orientation(3).bytes());
    const std::string path = writeSegments("many-app1.jpg", segments);
    JpegHeader header;
    std::string error;
    ASSERT_TRUE(readJpegHeader(path, header, &error)) << error;
    EXPECT_EQ(header.exif.orientation, 6);
    EXPECT_TRUE(decode(path) == upright(decode(untagged_), 6));
}

TEST_F(JpegOrientationTest, DamagedOrAbsurdExifIsIgnoredAndThePhotographReadAsStored) {
    const Raster stored = decode(untagged_);
    const std::vector<uint8_t> valid = ExifBlock().orientation(6).bytes();
    std::vector<uint8_t> random(300);
    std::mt19937 generator(5);
    for (uint8_t& byte : random) byte = static_cast<uint8_t>(generator());
    std::copy_n("Exif\0\0", 6, random.begin());
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks = {
        {"orientation-0", ExifBlock().orientation(0).bytes()},
        {"orientation-9", ExifBlock().orientation(9).bytes()},
        {"truncated", {valid.begin(), valid.begin() + 24}},
        {"random", random},
        {"header-only", {valid.begin(), valid.begin() + 6}},
    };
    for (const auto& [name, payload] : blocks) {
        const std::string path = write(name + ".jpg", payload);
        EXPECT_TRUE(decode(path) == stored) << name;
        JpegHeader header;
        ASSERT_TRUE(readJpegHeader(path, header)) << name;
        EXPECT_EQ(header.exif.orientation, 1) << name;
        EXPECT_EQ(header.width, kWidth) << name;
        EXPECT_FALSE(header.exif.ignored.empty()) << name;
    }
}

TEST_F(JpegOrientationTest, TheHeaderCarriesTheFocalLength) {
    ExifBlock recorded;
    recorded.orientation(6).integer(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM, 24);
    JpegHeader header;
    ASSERT_TRUE(readJpegHeader(write("35mm.jpg", recorded.bytes()), header));
    EXPECT_EQ(header.exif.focal35mm, 24);

    // Without a recorded pixel size the focal plane is taken to cover the stored frame:
    // 36 mm over its 25 pixels, 24 mm over its 17.
    ExifBlock plane;
    plane.orientation(6)
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 35, 1)
        .integer(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_PLANE_RESOLUTION_UNIT, 4)
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_PLANE_X_RESOLUTION, kWidth * 1000, 36 * 1000)
        .rational(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_PLANE_Y_RESOLUTION, kHeight * 1000, 24 * 1000);
    ASSERT_TRUE(readJpegHeader(write("plane.jpg", plane.bytes()), header));
    EXPECT_NEAR(header.exif.focal35mm, 35 * 43.27 / std::hypot(36.0, 24.0), 0.01);
    EXPECT_EQ(header.exif.ignored, "");
}

TEST_F(JpegOrientationTest, ATurnedPhotographCutShortFailsWithAReason) {
    const std::string path = withOrientation(6);
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    const std::string cut = (dir_ / "cut.jpg").string();
    std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() * 2 / 3));

    std::vector<uint8_t> pixels = {1, 2, 3};
    int width = -1, height = -1;
    std::string error;
    EXPECT_FALSE(readJpeg(cut, pixels, width, height, &error));
    EXPECT_TRUE(pixels.empty());
    EXPECT_EQ(width, 0);
    EXPECT_NE(error.find("cut.jpg"), std::string::npos);

    CollectingSink sink;
    error.clear();
    EXPECT_FALSE(readJpegRowsScaled(cut, 2, sink, &error, 1, 2));
    EXPECT_EQ(sink.rows, 0) << "no row of a turned photograph is handed over before it is whole";
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace vantorra
