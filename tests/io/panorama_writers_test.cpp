// The TIFF and PNG panorama writers read back through the photograph readers, sample for sample
// at 8 and 16 bits; the format rules (names, what a JPEG cannot hold, when a TIFF must be big).

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "io/panorama_file_sink.h"
#include "io/photo_reader.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 37, kHeight = 23;  // odd sizes: no row or strip comes out even

uint16_t sampleAt(int x, int y, int k) { return static_cast<uint16_t>((x * 1777 + y * 2311 + k * 4099) & 0xFFFF); }

class Collect : public PhotoRowSink {
public:
    bool begin(int w, int h) override {
        width = w;
        height = h;
        return true;
    }
    void row(int, const uint8_t* rgb) override { samples.insert(samples.end(), rgb, rgb + 3 * width); }
    bool wantsWideSamples() const override { return true; }
    void wideRow(int, const uint16_t* rgb) override { samples.insert(samples.end(), rgb, rgb + 3 * width); }
    int width = 0, height = 0;
    std::vector<uint16_t> samples;
};

TEST(PanoramaWriters, TiffAndPngReadBackSampleForSampleAtEitherDepth) {
    const fs::path folder = fs::temp_directory_path() / "vantorra_panorama_writers";
    fs::create_directories(folder);
    for (const PanoramaFormat format : {PanoramaFormat::Tiff, PanoramaFormat::Png}) {
        for (const int depth : {8, 16}) {
            SCOPED_TRACE(std::string(panoramaFormatName(format)) + " " + std::to_string(depth));
            const std::string path = (folder / panoramaFileName(format)).string();
            PanoramaEncoding encoding{format, depth, 90, {}};
            encoding.metadata.xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
            std::unique_ptr<FileSink> sink = makeFileSink(std::fopen(path.c_str(), "wb"), path, encoding);
            ASSERT_TRUE(sink->begin(kWidth, kHeight)) << sink->error();
            EXPECT_EQ(sink->wantsWideRows(), depth == 16);
            // Rows come in uneven groups, as rows of blocks do.
            for (int top = 0; top < kHeight;) {
                const int count = std::min(top % 2 ? 3 : 5, kHeight - top);
                std::vector<uint16_t> wide;
                std::vector<uint8_t> narrow;
                for (int y = top; y < top + count; ++y)
                    for (int x = 0; x < kWidth; ++x)
                        for (int k = 0; k < 3; ++k) {
                            wide.push_back(sampleAt(x, y, k));
                            narrow.push_back(static_cast<uint8_t>(sampleAt(x, y, k) >> 8));
                        }
                const std::vector<uint16_t> wideGiven = wide;
                const std::vector<uint8_t> narrowGiven = narrow;
                ASSERT_TRUE(depth == 16 ? sink->writeWideRows(wide.data(), count) : sink->writeRows(narrow.data(), count))
                    << sink->error();
                // The rows are the caller's: a preview reads them after the file has.
                ASSERT_EQ(wide, wideGiven);
                ASSERT_EQ(narrow, narrowGiven);
                top += count;
            }
            ASSERT_TRUE(sink->finish()) << sink->error();
            EXPECT_TRUE(sink->finished());

            PhotoHeader header;
            ASSERT_TRUE(readPhotoHeader(path, header));
            EXPECT_EQ(header.bits, depth);
            Collect read;
            std::string error;
            ASSERT_TRUE(readPhotoRows(path, read, &error)) << error;
            ASSERT_EQ(read.samples.size(), size_t{3} * kWidth * kHeight);
            int wrong = 0;
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x)
                    for (int k = 0; k < 3; ++k) {
                        const uint16_t want = depth == 16 ? sampleAt(x, y, k) : (sampleAt(x, y, k) >> 8) * 257;
                        wrong += read.samples[3 * (static_cast<size_t>(y) * kWidth + x) + k] != want;
                    }
            EXPECT_EQ(wrong, 0);
        }
        // A panorama that ends early is not finished, and says why.
        const std::string path = (folder / "short").string();
        std::unique_ptr<FileSink> sink = makeFileSink(std::fopen(path.c_str(), "wb"), path, {format, 8, 90, {}});
        ASSERT_TRUE(sink->begin(kWidth, kHeight));
        std::vector<uint8_t> row(3 * kWidth, 7);
        ASSERT_TRUE(sink->writeRows(row.data(), 1));
        EXPECT_FALSE(sink->finish());
        EXPECT_FALSE(sink->finished());
        EXPECT_NE(sink->error().find(path), std::string::npos) << sink->error();
    }
    fs::remove_all(folder);
}

TEST(PanoramaFormats, WhatEachFormatHolds) {
    struct Case {
        PanoramaFormat format;
        int depth;
        int64_t width, height;
        const char* problem;  // a part of the refusal; empty: none
    };
    const Case cases[] = {
        {PanoramaFormat::Jpeg, 8, 65500, 65500, ""},
        {PanoramaFormat::Jpeg, 8, 65501, 100, "--format tiff"},
        {PanoramaFormat::Jpeg, 8, 100, 70000, "--format tiff"},
        {PanoramaFormat::Jpeg, 16, 100, 100, "8 bits"},
        {PanoramaFormat::Tiff, 16, 500000, 200000, ""},
        {PanoramaFormat::Png, 16, 70000, 100, ""},
        {PanoramaFormat::Tiff, 12, 100, 100, "8 or 16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(panoramaFormatName(c.format)) + " " + std::to_string(c.width));
        const std::string problem = panoramaEncodingProblem({c.format, c.depth, 90, {}}, c.width, c.height);
        if (*c.problem == '\0') EXPECT_EQ(problem, "");
        else EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
    // Classic TIFF addresses 4 GiB: the decision is taken on the samples, uncompressed.
    EXPECT_FALSE(needsBigTiff(66000, 20000, 8));   // 3.96 GB
    EXPECT_TRUE(needsBigTiff(66000, 22000, 8));    // 4.36 GB
    EXPECT_FALSE(needsBigTiff(30000, 23000, 16));  // 4.14 GB, less the room for tables
    EXPECT_TRUE(needsBigTiff(30000, 24000, 16));   // 4.32 GB
    EXPECT_TRUE(needsBigTiff(66000, 21600, 8, size_t{100} << 20));  // metadata counts too
    // Names: the extension in any case, none for others.
    EXPECT_EQ(panoramaFormatOfName("/a/b.TIFF"), PanoramaFormat::Tiff);
    EXPECT_EQ(panoramaFormatOfName("x.jpe"), PanoramaFormat::Jpeg);
    EXPECT_EQ(panoramaFormatOfName("x.Png"), PanoramaFormat::Png);
    EXPECT_EQ(panoramaFormatOfName("a.tif/pano"), std::nullopt);
    EXPECT_EQ(panoramaFormatOfName("pano.gif"), std::nullopt);
}

}  // namespace
}  // namespace vantorra
