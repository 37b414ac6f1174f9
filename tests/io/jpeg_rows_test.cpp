#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <random>

#include "core/image.h"
#include "io/jpeg.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

// A noisy colour photograph of odd size, so the dropped last row and column are exercised.
std::string writeNoisyJpeg(const std::filesystem::path& dir, int rows, int cols) {
    Image image;
    image.allocate(rows, cols, 3);
    std::mt19937 random(7);
    for (auto& sample : image.data) sample = static_cast<uint8_t>(random() % 256);
    const std::string path = (dir / "noisy.jpg").string();
    EXPECT_TRUE(writeJpeg(path, image, 90));
    return path;
}

TEST(ReadJpegHalved, EqualsDecodingThenHalvingSampleForSample) {
    const auto dir = std::filesystem::temp_directory_path() / "vantorra-jpeg-rows-test";
    std::filesystem::create_directories(dir);
    for (const auto& [rows, cols] : {std::pair{37, 53}, std::pair{2, 2}, std::pair{64, 48}}) {
        const std::string path = writeNoisyJpeg(dir, rows, cols);
        FloatImage full;
        ASSERT_TRUE(readPhoto(path, full));
        const FloatImage expected = halfSize(full);

        FloatImage halved;
        int fullRows = 0, fullCols = 0;
        ASSERT_TRUE(readPhotoHalved(path, halved, fullRows, fullCols));
        EXPECT_EQ(fullRows, rows);
        EXPECT_EQ(fullCols, cols);
        EXPECT_EQ(halved.rows, rows / 2);
        EXPECT_EQ(halved.cols, cols / 2);
        EXPECT_EQ(halved.channels, 3);
        EXPECT_EQ(halved.data, expected.data) << rows << " x " << cols;
    }
    std::filesystem::remove_all(dir);
}

// Halved several times while decoding, holding a row per halving: the same samples as halving
// the decoded image that often, odd rows and columns dropped at every step.
TEST(ReadJpegHalved, SeveralHalvingsEqualHalvingTheDecodedImageThatOften) {
    const auto dir = std::filesystem::temp_directory_path() / "vantorra-jpeg-halvings-test";
    std::filesystem::create_directories(dir);
    for (const auto& [rows, cols] : {std::pair{75, 103}, std::pair{64, 48}, std::pair{9, 33}}) {
        const std::string path = writeNoisyJpeg(dir, rows, cols);
        FloatImage expected;
        ASSERT_TRUE(readPhoto(path, expected));
        for (int halvings = 1; halvings <= 3; ++halvings) {
            expected = halfSize(expected);
            FloatImage halved;
            int fullRows = 0, fullCols = 0;
            ASSERT_TRUE(readPhotoHalved(path, halved, fullRows, fullCols, nullptr, halvings));
            EXPECT_EQ(fullRows, rows);
            EXPECT_EQ(halved.rows, expected.rows) << halvings;
            EXPECT_EQ(halved.cols, expected.cols) << halvings;
            EXPECT_EQ(halved.data, expected.data) << rows << " x " << cols << ", " << halvings << " halvings";
        }
    }
    std::filesystem::remove_all(dir);
}

double meanDifference(const FloatImage& a, const FloatImage& b) {
    double sum = 0.0;
    for (size_t k = 0; k < a.data.size(); ++k) sum += std::abs(a.data[k] - b.data[k]);
    return sum / static_cast<double>(a.data.size());
}

// The decoder's half-size decoding does the first halving, block averages the rest: close to
// block averages alone on a real photograph, and always the halvings' size.
TEST(ReadJpegReduced, KeepsTheHalvingsSizeAndStaysCloseToTheirSamples) {
    const std::string photo = std::string(VANTORRA_TEST_DATA) + "/features/view_600x400.jpg";
    FloatImage expected;
    ASSERT_TRUE(readPhoto(photo, expected));
    FloatImage same;
    ASSERT_TRUE(readPhotoReduced(photo, same, 400, 600, 0));
    EXPECT_EQ(same.data, expected.data);
    for (int halvings = 1; halvings <= 5; ++halvings) {
        expected = halfSize(expected);
        FloatImage reduced;
        ASSERT_TRUE(readPhotoReduced(photo, reduced, 400, 600, halvings)) << halvings;
        ASSERT_EQ(reduced.rows, expected.rows) << halvings;
        ASSERT_EQ(reduced.cols, expected.cols) << halvings;
        EXPECT_LT(meanDifference(reduced, expected), 1.0) << halvings;  // 0.05-0.65 measured
    }
    // Odd sizes: the decoder rounds up, the halvings round down.
    const auto dir = std::filesystem::temp_directory_path() / "vantorra-jpeg-reduced-test";
    std::filesystem::create_directories(dir);
    for (const auto& [rows, cols] : {std::pair{75, 103}, std::pair{9, 33}, std::pair{127, 129}}) {
        const std::string path = writeNoisyJpeg(dir, rows, cols);
        for (int halvings = 1; halvings <= 4; ++halvings) {
            FloatImage reduced;
            ASSERT_TRUE(readPhotoReduced(path, reduced, rows, cols, halvings));
            EXPECT_EQ(reduced.rows, rows >> halvings) << rows << " x " << cols << ", " << halvings;
            EXPECT_EQ(reduced.cols, cols >> halvings) << rows << " x " << cols << ", " << halvings;
            EXPECT_EQ(reduced.data.size(), static_cast<size_t>((rows >> halvings) * (cols >> halvings) * 3));
        }
    }
    // A size other than the file's is refused, as is a file that cannot be read.
    FloatImage image;
    std::string error;
    EXPECT_FALSE(readPhotoReduced(photo, image, 800, 1200, 2, &error));
    EXPECT_TRUE(image.empty());
    EXPECT_NE(error.find("differs"), std::string::npos) << error;
    EXPECT_FALSE(readPhotoReduced("/nonexistent-vantorra/photo.jpg", image, 400, 600, 2, &error));
    EXPECT_NE(error.find("photo.jpg"), std::string::npos) << error;
    std::filesystem::remove_all(dir);
}

TEST(ReadJpegHalved, BadFilesLeaveTheImageEmptyWithAReason) {
    FloatImage image;
    image.allocate(4, 4, 3);
    int rows = -1, cols = -1;
    std::string error;
    EXPECT_FALSE(readPhotoHalved("/nonexistent-vantorra/photo.jpg", image, rows, cols, &error));
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(cols, 0);
    EXPECT_NE(error.find("photo.jpg"), std::string::npos);
}

}  // namespace
}  // namespace vantorra
