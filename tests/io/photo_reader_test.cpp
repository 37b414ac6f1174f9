// The PNG, TIFF and HEIF readers against the pattern their small files were made from (see
// expected() below): every kind of file the readers take, upright, reduced, in bands, and cut short.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/photo_reader.h"

namespace vantorra {
namespace {

const std::string kFormats = std::string(VANTORRA_TEST_DATA) + "/formats/";
constexpr int kWidth = 64, kHeight = 48;

// The 16-bit pattern every file holds (an 8-bit file its top byte, a grey file its green).
uint16_t expected(int x, int y, int k) {
    const uint32_t X = static_cast<uint32_t>(x), Y = static_cast<uint32_t>(y);
    const uint32_t values[3] = {X * 509 + Y * 31, X * 97 + Y * 1013, X * Y * 13 + 4099};
    return static_cast<uint16_t>(values[k] & 0xFFFF);
}

// Keeps what a reader hands over, in 16 bits, with each pixel's cover.
class Collect : public PhotoRowSink {
public:
    bool begin(int w, int h) override {
        width = w;
        height = h;
        samples.assign(3 * static_cast<size_t>(w) * h, 0);
        covers.assign(static_cast<size_t>(w) * h, 255);
        return true;
    }
    void row(int index, const uint8_t* rgb) override {
        for (int i = 0; i < 3 * width; ++i) samples[3 * static_cast<size_t>(index) * width + i] = rgb[i] * 257;
        ++rows;
    }
    bool wantsWideSamples() const override { return wide; }
    void wideRow(int index, const uint16_t* rgb) override {
        std::copy_n(rgb, 3 * width, samples.begin() + 3 * static_cast<ptrdiff_t>(index) * width);
        ++rows;
    }
    void cover(int index, const uint8_t* c) override {
        std::copy_n(c, width, covers.begin() + static_cast<ptrdiff_t>(index) * width);
    }
    uint16_t at(int x, int y, int k) const { return samples[3 * (static_cast<size_t>(y) * width + x) + k]; }

    bool wide = true;
    int width = 0, height = 0, rows = 0;
    std::vector<uint16_t> samples;
    std::vector<uint8_t> covers;
};

struct Case {
    const char* file;
    PhotoFormat format;
    int bits;
    bool grey, alpha;
    int tolerance;  // in 16-bit levels: 0 for a lossless file at 16 bits
};

const Case kCases[] = {
    {"rgb16.png", PhotoFormat::Png, 16, false, false, 0},
    {"grey8.png", PhotoFormat::Png, 8, true, false, 255},
    {"rgba8.png", PhotoFormat::Png, 8, false, true, 255},
    {"rgb16.tif", PhotoFormat::Tiff, 16, false, false, 0},
    {"grey16.tif", PhotoFormat::Tiff, 16, true, false, 0},
    {"rgba16.tif", PhotoFormat::Tiff, 16, false, true, 0},
    {"tiled16.tif", PhotoFormat::Tiff, 16, false, false, 0},
    {"planar8.tif", PhotoFormat::Tiff, 8, false, false, 255},
    {"stored6.tif", PhotoFormat::Tiff, 8, false, false, 255},  // stored turned, orientation 6
};

uint16_t patternOf(const Case& c, int x, int y, int k) {
    const uint16_t value = expected(x, y, c.grey ? 1 : k);
    return c.bits == 8 ? static_cast<uint16_t>((value >> 8) * 257) : value;
}

TEST(PhotoReader, EveryKindOfFileGivesItsPatternUprightWholeReducedAndInBands) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.file);
        const std::string path = kFormats + c.file;
        PhotoHeader header;
        std::string error;
        ASSERT_TRUE(readPhotoHeader(path, header, &error)) << error;
        EXPECT_EQ(header.format, c.format);
        EXPECT_EQ(header.width, kWidth);
        EXPECT_EQ(header.height, kHeight);
        EXPECT_EQ(header.bits, c.bits);
        EXPECT_EQ(header.alpha, c.alpha);

        Collect whole;
        ASSERT_TRUE(readPhotoRows(path, whole, &error)) << error;
        ASSERT_EQ(whole.width, kWidth);
        ASSERT_EQ(whole.rows, kHeight);
        int worst = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int k = 0; k < 3; ++k) {
                    // Pixels the alpha leaves uncovered (the first 8 columns) come as black.
                    const int want = c.alpha && x < 8 ? 0 : patternOf(c, x, y, k);
                    worst = std::max(worst, std::abs(whole.at(x, y, k) - want));
                }
        EXPECT_LE(worst, c.tolerance);
        if (c.alpha) {
            EXPECT_EQ(whole.covers[0], 0);             // column 0 is not covered
            EXPECT_EQ(whole.covers[kWidth - 1], 255);  // the last is
        }

        // Halved: each pixel the mean of its block; a band of it the same rows.
        Collect half, band;
        ASSERT_TRUE(readPhotoRowsScaled(path, 2, half, &error)) << error;
        ASSERT_EQ(half.width, kWidth / 2);
        ASSERT_EQ(half.height, kHeight / 2);
        const int x = 20, y = 9;
        if (!c.alpha) {
            int sum = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) sum += whole.at(2 * x + dx, 2 * y + dy, 1);
            EXPECT_NEAR(half.at(x, y, 1), sum / 4.0, 1.0);
        }
        ASSERT_TRUE(readPhotoRowsScaled(path, 2, band, &error, 5, 7)) << error;
        ASSERT_EQ(band.height, 7);
        EXPECT_TRUE(std::equal(band.samples.begin(), band.samples.end(),
                               half.samples.begin() + 5 * 3 * static_cast<ptrdiff_t>(half.width)));
    }
}

TEST(PhotoReader, EightBitSinksGetTheTopOfSixteenBitSamples) {
    Collect narrow;
    narrow.wide = false;
    std::string error;
    ASSERT_TRUE(readPhotoRows(kFormats + "rgb16.tif", narrow, &error)) << error;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(narrow.at(33, 17, k) / 257, expected(33, 17, k) / 257.0, 0.51);
}

TEST(PhotoReader, HeifIsDecodedCloseToItsSource) {
    Collect image;
    std::string error;
    ASSERT_TRUE(readPhotoRows(kFormats + "photo.heic", image, &error)) << error;
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    double difference = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int k = 0; k < 3; ++k) difference += std::abs(image.at(x, y, k) / 257 - expected(x, y, k) / 256);
    // A lossy codec over a busy pattern: close on average, not sample for sample.
    EXPECT_LT(difference / (3.0 * kWidth * kHeight), 12.0);
}

// Every file cut short, or with its first bytes only, fails with a reason and never crashes.
TEST(PhotoReader, FilesCutShortFailWithAReason) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vantorra_photo_reader_cut";
    std::filesystem::create_directories(folder);
    for (const char* file : {"rgb16.png", "rgb16.tif", "tiled16.tif", "planar8.tif", "stored6.tif", "photo.heic"}) {
        std::ifstream in(kFormats + file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const size_t keep : {size_t{16}, bytes.size() / 3, bytes.size() - 40}) {
            SCOPED_TRACE(std::string(file) + " cut to " + std::to_string(keep));
            const std::string cut = (folder / file).string();
            std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(keep));
            Collect image;
            std::string error;
            const bool read = readPhotoRows(cut, image, &error);
            // The end of some files holds only their directory or padding: a read may succeed, but
            // never without all its rows, and a failure names the file.
            if (read) EXPECT_EQ(image.rows, image.height);
            else {
                EXPECT_EQ(error.rfind(cut, 0), 0u) << error;
                EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
            }
        }
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace vantorra
