#include "io/jpeg.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "core/image.h"
#include "io/photo_image.h"
#include "io/photo_reader.h"

namespace vantorra {
namespace {

namespace fs = std::filesystem;

// A genuine 2 x 2 red PNG, the kind of file a user might rename to .jpg by mistake.
const unsigned char kPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd, 0xd4, 0x9a,
    0x73, 0x00, 0x00, 0x00, 0x16, 0x49, 0x44, 0x41, 0x54, 0x08, 0xd7, 0x63, 0xfc, 0xcf, 0xc0, 0xc0,
    0xc0, 0xc0, 0xc0, 0xc4, 0xc0, 0xc0, 0xc0, 0xc0, 0xc0, 0x00, 0x00, 0x0d, 0x1d, 0x01, 0x03, 0x2b,
    0xe9, 0xa6, 0xc8, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

class JpegTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vantorra-jpeg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    static void writeBytes(const std::string& file, const std::vector<unsigned char>& bytes) {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static std::vector<unsigned char> readBytes(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Writes samples of any colour space straight through libjpeg, for the inputs our own
    // writer never produces (greyscale, CMYK, YCCK).
    static void writeRaw(const std::string& file, int width, int height, int components,
                         J_COLOR_SPACE inSpace, J_COLOR_SPACE fileSpace,
                         const std::vector<unsigned char>& pixel, bool progressive = false) {
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        FILE* out = std::fopen(file.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        jpeg_stdio_dest(&cinfo, out);
        cinfo.image_width = width;
        cinfo.image_height = height;
        cinfo.input_components = components;
        cinfo.in_color_space = inSpace;
        jpeg_set_defaults(&cinfo);
        jpeg_set_colorspace(&cinfo, fileSpace);
        jpeg_set_quality(&cinfo, 95, TRUE);
        if (progressive) jpeg_simple_progression(&cinfo);
        jpeg_start_compress(&cinfo, TRUE);
        std::vector<unsigned char> row(static_cast<size_t>(width) * components);
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < components; ++k) row[x * components + k] = pixel[k];
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        std::fclose(out);
    }

    // A smooth colour gradient that JPEG keeps closely even with subsampled chroma.
    static Image gradient(int rows, int cols) {
        Image image;
        image.allocate(rows, cols, 3);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                image.at(r, c, 0) = static_cast<uint8_t>(40 + 150 * c / cols);
                image.at(r, c, 1) = static_cast<uint8_t>(60 + 120 * r / rows);
                image.at(r, c, 2) = static_cast<uint8_t>(90 + 50 * (r + c) / (rows + cols));
            }
        }
        return image;
    }

    fs::path dir_;
};

TEST_F(JpegTest, RoundTripAtQuality100KeepsSizeChannelsAndValues) {
    const Image original = gradient(23, 37);
    std::string error;
    ASSERT_TRUE(writeJpeg(path("round.jpg"), original, 100, &error)) << error;

    JpegHeader header;
    ASSERT_TRUE(readJpegHeader(path("round.jpg"), header, &error)) << error;
    EXPECT_EQ(header.width, 37);
    EXPECT_EQ(header.height, 23);
    EXPECT_EQ(header.components, 3);

    FloatImage decoded;
    ASSERT_TRUE(readPhoto(path("round.jpg"), decoded, &error)) << error;
    ASSERT_EQ(decoded.rows, 23);
    ASSERT_EQ(decoded.cols, 37);
    ASSERT_EQ(decoded.channels, 3);
    double total = 0.0;
    for (size_t i = 0; i < original.data.size(); ++i) {
        const float d = std::abs(decoded.data[i] - original.data[i]);
        EXPECT_LE(d, 6.0f) << "sample " << i;
        total += d;
    }
    EXPECT_LT(total / original.data.size(), 1.5);
    // Nothing beside the output: the temporary file was renamed into place.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// A name may lie: the file's signature picks the reader, so a PNG saved as .jpg is a photograph.
TEST_F(JpegTest, APngNamedLikeAJpegIsReadByWhatItHolds) {
    writeBytes(path("picture.jpg"), std::vector<unsigned char>(std::begin(kPng), std::end(kPng)));
    PhotoHeader header;
    ASSERT_TRUE(readPhotoHeader(path("picture.jpg"), header));
    EXPECT_EQ(header.format, PhotoFormat::Png);
    FloatImage image;
    std::string error;
    ASSERT_TRUE(readPhoto(path("picture.jpg"), image, &error)) << error;
    EXPECT_EQ(image.rows, 2);
    EXPECT_EQ(image.cols, 2);
}

TEST_F(JpegTest, BadFilesFailCleanlyWithAMessage) {
    ASSERT_TRUE(writeJpeg(path("good.jpg"), gradient(32, 48), 90));
    std::vector<unsigned char> good = readBytes(path("good.jpg"));
    ASSERT_GT(good.size(), 200u);

    writeBytes(path("truncated.jpg"), std::vector<unsigned char>(good.begin(), good.begin() + good.size() / 2));
    writeBytes(path("header-only.jpg"), std::vector<unsigned char>(good.begin(), good.begin() + 20));
    std::vector<unsigned char> noise(3000);
    uint32_t state = 7;
    for (unsigned char& b : noise) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(state >> 24);
    }
    writeBytes(path("random.jpg"), noise);
    writeBytes(path("empty.jpg"), {});
    writeBytes(path("picture.jpg"), {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0, 0, 0});

    struct Case {
        const char* name;
        const char* expectedText;  // part of the library's message
    };
    const Case cases[] = {
        {"truncated.jpg", "Premature end"},
        {"header-only.jpg", ""},
        {"random.jpg", "Not a JPEG file"},
        {"empty.jpg", "Empty input file"},
        {"picture.jpg", "Not a JPEG file"},
        {"missing.jpg", "can't open"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        FloatImage image(2, 2, 3);
        std::string error;
        EXPECT_FALSE(readPhoto(path(test.name), image, &error));
        EXPECT_TRUE(image.empty());
        EXPECT_EQ(image.rows, 0);
        EXPECT_NE(error.find(path(test.name)), std::string::npos) << error;
        EXPECT_NE(error.find(test.expectedText), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;

        JpegHeader header;
        std::string headerError;
        if (std::string(test.name) != "truncated.jpg") {
            EXPECT_FALSE(readJpegHeader(path(test.name), header, &headerError));
            EXPECT_FALSE(headerError.empty());
        }
    }
}

TEST_F(JpegTest, LongMarkersTheDecoderSkipsSpanSeveralReads) {
    // Application segments the decoder skips unread, longer together than the data it reads from
    // the file at once (a header read takes less than a decode), right after the start of image.
    const Image original = gradient(40, 56);
    ASSERT_TRUE(writeJpeg(path("plain.jpg"), original, 90));
    const std::vector<unsigned char> plain = readBytes(path("plain.jpg"));
    std::vector<unsigned char> padded(plain.begin(), plain.begin() + 2);
    for (int segment = 0; segment < 3; ++segment) {
        const unsigned length = 65533;  // the most a segment holds, its two length bytes included
        padded.insert(padded.end(), {0xFF, static_cast<unsigned char>(0xEC + segment),
                                     static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length & 0xFF)});
        for (unsigned k = 2; k < length; ++k) padded.push_back(static_cast<unsigned char>(k * 31 + segment));
    }
    padded.insert(padded.end(), plain.begin() + 2, plain.end());
    writeBytes(path("padded.jpg"), padded);

    std::string error;
    JpegHeader header;
    ASSERT_TRUE(readJpegHeader(path("padded.jpg"), header, &error)) << error;
    EXPECT_EQ(header.width, 56);
    EXPECT_EQ(header.height, 40);
    FloatImage expected, got;
    ASSERT_TRUE(readPhoto(path("plain.jpg"), expected, &error)) << error;
    ASSERT_TRUE(readPhoto(path("padded.jpg"), got, &error)) << error;
    EXPECT_EQ(got.data, expected.data);

    // Cut inside the last segment: the file ends before its image data.
    padded.resize(3 * 65535);
    writeBytes(path("cut.jpg"), padded);
    EXPECT_FALSE(readPhoto(path("cut.jpg"), got, &error));
    EXPECT_NE(error.find("Premature end"), std::string::npos) << error;
}

TEST_F(JpegTest, GreyscaleAndFourComponentFilesDecodeToRgb) {
    struct Case {
        const char* name;
        int components;
        J_COLOR_SPACE inSpace, fileSpace;
        std::vector<unsigned char> pixel;
        std::vector<int> expectedRgb;
    };
    // libjpeg writes CMYK with the Adobe marker, whose samples are inverted (255 = no ink).
    const Case cases[] = {
        {"grey.jpg", 1, JCS_GRAYSCALE, JCS_GRAYSCALE, {128}, {128, 128, 128}},
        {"cmyk.jpg", 4, JCS_CMYK, JCS_CMYK, {255, 0, 255, 255}, {255, 0, 255}},
        {"cmyk-dark.jpg", 4, JCS_CMYK, JCS_CMYK, {255, 255, 255, 128}, {128, 128, 128}},
        {"ycck.jpg", 4, JCS_CMYK, JCS_YCCK, {0, 255, 255, 255}, {0, 255, 255}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        writeRaw(path(test.name), 19, 11, test.components, test.inSpace, test.fileSpace, test.pixel);
        JpegHeader header;
        ASSERT_TRUE(readJpegHeader(path(test.name), header));
        EXPECT_EQ(header.components, test.components);

        FloatImage image;
        std::string error;
        ASSERT_TRUE(readPhoto(path(test.name), image, &error)) << error;
        ASSERT_EQ(image.rows, 11);
        ASSERT_EQ(image.cols, 19);
        ASSERT_EQ(image.channels, 3);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(image.at(5, 9, k), test.expectedRgb[k], 4.0f) << "channel " << k;
    }
}

TEST_F(JpegTest, HugeHeaderIsRefusedBeforeDecoding) {
    ASSERT_TRUE(writeJpeg(path("small.jpg"), gradient(16, 16), 90));
    std::vector<unsigned char> bytes = readBytes(path("small.jpg"));
    // Rewrite the frame header (SOF0: FF C0, length, precision, height, width) to 60000 x 60000.
    bool patched = false;
    for (size_t i = 0; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = bytes[i + 7] = 0xEA;
            bytes[i + 6] = bytes[i + 8] = 0x60;
            patched = true;
            break;
        }
    }
    ASSERT_TRUE(patched);
    writeBytes(path("huge.jpg"), bytes);

    JpegHeader header;
    ASSERT_TRUE(readJpegHeader(path("huge.jpg"), header));
    EXPECT_EQ(header.width, 60000);
    FloatImage image;
    std::string error;
    EXPECT_FALSE(readPhoto(path("huge.jpg"), image, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_TRUE(image.empty());
}

// Counts what the decoder hands over, to see how far a forged file gets.
class CountingSink : public JpegRowSink {
public:
    bool begin(int, int) override { return true; }
    void row(int, const uint8_t*) override { ++rows; }
    int rows = 0;
};

// A header may claim any size under the limit; the data behind it decides what is decoded. A
// file whose data ends early must fail before the decoder fills the missing rows with grey,
// and none of the readers may allocate the claimed size up front.
TEST_F(JpegTest, ForgedSizeUnderTheLimitFailsOnTheMissingData) {
    struct Case {
        const char* what;
        bool progressive;
        int side;
    };
    const Case cases[] = {{"baseline 18000 x 18000", false, 18000}, {"progressive 16000 x 16000", true, 16000}};
    for (const Case& test : cases) {
        const std::string small = path("small.jpg");
        if (test.progressive) {
            writeRaw(small, 16, 16, 3, JCS_RGB, JCS_YCbCr, {128, 128, 128}, true);
        } else {
            ASSERT_TRUE(writeJpeg(small, gradient(16, 16), 90));
        }
        std::vector<unsigned char> bytes = readBytes(small);
        const unsigned char frame = test.progressive ? 0xC2 : 0xC0;
        bool patched = false;
        for (size_t i = 0; i + 9 < bytes.size() && !patched; ++i) {
            if (bytes[i] == 0xFF && bytes[i + 1] == frame) {
                bytes[i + 5] = bytes[i + 7] = static_cast<unsigned char>(test.side >> 8);
                bytes[i + 6] = bytes[i + 8] = static_cast<unsigned char>(test.side & 0xFF);
                patched = true;
            }
        }
        ASSERT_TRUE(patched) << test.what;
        writeBytes(path("forged.jpg"), bytes);

        CountingSink counting;
        std::string error;
        EXPECT_FALSE(readJpegRows(path("forged.jpg"), counting, &error)) << test.what;
        EXPECT_LT(counting.rows, 64) << test.what;  // the file holds 16 rows' worth of data
        EXPECT_NE(error.find("forged.jpg"), std::string::npos) << error;
        EXPECT_EQ(error.find("Backing store"), std::string::npos) << error;

        FloatImage image;
        EXPECT_FALSE(readPhoto(path("forged.jpg"), image, &error)) << test.what;
        EXPECT_TRUE(image.empty());
        int rows = -1, cols = -1;
        EXPECT_FALSE(readPhotoHalved(path("forged.jpg"), image, rows, cols, &error)) << test.what;
        EXPECT_TRUE(image.empty());
        std::vector<uint8_t> pixels;
        int width = -1, height = -1;
        EXPECT_FALSE(readJpeg(path("forged.jpg"), pixels, width, height, &error)) << test.what;
        EXPECT_TRUE(pixels.empty());
    }
}

// The resident memory of this process now, in kB; -1 when it cannot be read.
long residentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = -1;
    if (!(statm >> pages >> resident)) return -1;
    return resident * (sysconf(_SC_PAGESIZE) >> 10);
}

// The resident memory, in MB, of a child process that runs `body`, at its peak over what it had
// when it began (the test process and, in a sanitizer build, the sanitizer's own tables, which
// are most of it); -1 when it failed.
template <typename Body>
long childPeakMegabytes(Body body) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const long startKb = residentKilobytes();
        body();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const long peak = startKb < 0 ? -1 : (usage.ru_maxrss - startKb) >> 10;
        _exit(peak >= 0 && write(fds[1], &peak, sizeof peak) == static_cast<ssize_t>(sizeof peak) ? 0 : 1);
    }
    close(fds[1]);
    long peak = -1;
    if (::read(fds[0], &peak, sizeof peak) != static_cast<ssize_t>(sizeof peak)) peak = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? peak : -1;
}

// A progressive file keeps every coefficient while it is read, at any scale. One whose
// coefficients outgrow the decoder's share is refused from its header with both sizes, before
// the decoder allocates them; one under it is read (or fails on its missing data) as before.
TEST_F(JpegTest, ProgressiveFileIsRefusedWhenItsCoefficientsOutgrowTheDecoder) {
    const std::vector<unsigned char> small = readBytes(std::string(VANTORRA_TEST_DATA) + "/bad/progressive_40x24.jpg");
    const auto claiming = [&](int side, const std::string& name) {
        std::vector<unsigned char> bytes = small;
        for (size_t i = 0; i + 9 < bytes.size(); ++i)
            if (bytes[i] == 0xFF && bytes[i + 1] == 0xC2) {
                bytes[i + 5] = bytes[i + 7] = static_cast<unsigned char>(side >> 8);
                bytes[i + 6] = bytes[i + 8] = static_cast<unsigned char>(side & 0xFF);
                break;
            }
        writeBytes(path(name), bytes);
        return path(name);
    };
    struct Case {
        int side;
        const char* refusal;  // empty: read as any file
    };
    // 4:2:0 colour, 128 bytes per 8 x 8 block: 6688 pixels a side need 127.97 MB, 6689 128.6 MB.
    const Case cases[] = {
        {18000, "progressive image of 18000 x 18000 pixels needs 927 MB for its coefficients, more than the 128 MB "
                "its decoder may use"},
        {6000, ""},
        {6688, ""},
        {6689, "progressive image of 6689 x 6689 pixels needs 129 MB for its coefficients"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.side);
        const std::string file = claiming(test.side, "claims_" + std::to_string(test.side) + ".jpg");
        const bool refused = *test.refusal != '\0';
        for (const int denominator : {1, 8}) {
            CountingSink counting;
            std::string error;
            EXPECT_FALSE(readJpegRowsScaled(file, denominator, counting, &error));  // the data ends early
            if (refused) {
                EXPECT_NE(error.find(test.refusal), std::string::npos) << error;
                EXPECT_EQ(counting.rows, 0);
            } else {
                EXPECT_EQ(error.find("coefficients"), std::string::npos) << error;
            }
        }
        JpegHeader header;  // the header alone is still read
        EXPECT_TRUE(readJpegHeader(file, header));
        EXPECT_EQ(header.width, test.side);
    }
    CountingSink whole;
    EXPECT_TRUE(readJpegRows(std::string(VANTORRA_TEST_DATA) + "/bad/progressive_40x24.jpg", whole));
    EXPECT_EQ(whole.rows, 24);

    const std::string huge = claiming(18000, "huge.jpg");
    const long peak = childPeakMegabytes([&] {
        FloatImage image;
        int rows = 0, cols = 0;
        readPhotoHalved(huge, image, rows, cols);
    });
    ASSERT_GE(peak, 0);
    EXPECT_LT(peak, 64) << "MB to refuse a progressive 18000 x 18000 file";
}

// Found by fuzzing: an arithmetic-coded frame of 65345 x 31757 pixels with no data. The
// arithmetic decoder feeds zeros past the closing marker without a warning, so the scaled reader
// (whose output is small enough to pass the output size check) used to decode all of it.
TEST_F(JpegTest, HugeArithmeticCodedFileWithoutDataIsRefusedAtAnyScale) {
    const std::string forged = std::string(VANTORRA_TEST_DATA) + "/bad/arithmetic_forged_size.jpg";
    for (const int denominator : {1, 2, 8}) {
        CountingSink counting;
        std::string error;
        EXPECT_FALSE(readJpegRowsScaled(forged, denominator, counting, &error)) << denominator;
        EXPECT_EQ(counting.rows, 0) << denominator;
        EXPECT_NE(error.find("arithmetic_forged_size.jpg: image of 65345 x 31757 pixels is too large"),
                  std::string::npos) << error;
    }
}

// Every reader failure comes to "PATH: reason" without the verb, whichever way the file failed.
TEST_F(JpegTest, AReadFailureReasonNamesThePathWithoutTheVerb) {
    JpegHeader header;
    std::string missing, notJpeg;
    EXPECT_FALSE(readJpegHeader(path("absent.jpg"), header, &missing));
    EXPECT_EQ(missing.rfind("can't open ", 0), 0u) << missing;
    EXPECT_EQ(readFailureReason(missing), path("absent.jpg") + ": No such file or directory");
    std::ofstream(path("words.jpg")) << "no picture here";
    EXPECT_FALSE(readJpegHeader(path("words.jpg"), header, &notJpeg));
    EXPECT_EQ(readFailureReason(notJpeg), notJpeg);
    EXPECT_EQ(readFailureReason(notJpeg).rfind(path("words.jpg") + ": ", 0), 0u) << notJpeg;
}

TEST_F(JpegTest, UnwritableOutputReturnsFalseAndKeepsWhatWasThere) {
    const Image image = gradient(8, 8);
    std::string error;
    EXPECT_FALSE(writeJpeg(path("no-such-folder/pano.jpg"), image, 75, &error));
    EXPECT_NE(error.find("can't open"), std::string::npos) << error;
    EXPECT_FALSE(writeJpeg(dir_.string(), image, 75, &error));  // a folder, not a file

    // An encoder failure (libjpeg refuses widths over 65500) leaves the earlier file intact
    // and no partial file beside it.
    writeBytes(path("pano.jpg"), {'o', 'l', 'd'});
    Image tooWide;
    tooWide.allocate(1, 70000, 3);
    EXPECT_FALSE(writeJpeg(path("pano.jpg"), tooWide, 75, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readBytes(path("pano.jpg")), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

    Image empty;
    EXPECT_FALSE(writeJpeg(path("empty.jpg"), empty, 75, &error));
    Image grey;
    grey.allocate(4, 4, 1);
    EXPECT_FALSE(writeJpeg(path("grey.jpg"), grey, 75, &error));
    EXPECT_FALSE(fs::exists(path("grey.jpg")));
}

}  // namespace
}  // namespace vantorra
