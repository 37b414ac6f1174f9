#include "io/preview_sink.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vantorra {
namespace {

Image pattern(int rows, int cols) {
    Image image;
    image.allocate(rows, cols, 3);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            for (int k = 0; k < 3; ++k) image.at(r, c, k) = static_cast<uint8_t>((r * 37 + c * 11 + k * 91) % 256);
    return image;
}

// The mean of each block, the blocks at the right and bottom cut short, worked out plainly.
Image boxMeans(const Image& image, int factor) {
    Image out;
    out.allocate((image.rows + factor - 1) / factor, (image.cols + factor - 1) / factor, 3);
    for (int r = 0; r < out.rows; ++r)
        for (int c = 0; c < out.cols; ++c)
            for (int k = 0; k < 3; ++k) {
                int sum = 0, count = 0;
                for (int y = r * factor; y < std::min(image.rows, (r + 1) * factor); ++y)
                    for (int x = c * factor; x < std::min(image.cols, (c + 1) * factor); ++x, ++count)
                        sum += image.at(y, x, k);
                out.at(r, c, k) = static_cast<uint8_t>((sum + count / 2) / count);
            }
    return out;
}

// Rows handed over in uneven bunches, as rows of blocks arrive.
bool feed(PanoramaSink& sink, const Image& image, int bunch) {
    if (!sink.begin(image.cols, image.rows)) return false;
    for (int row = 0; row < image.rows; row += bunch) {
        const int count = std::min(bunch, image.rows - row);
        if (!sink.writeRows(image.data.data() + static_cast<size_t>(row) * image.cols * 3, count)) return false;
    }
    return sink.finish();
}

TEST(PreviewSinkTest, KeepsBlockMeansWithinThePixelsAndPassesEveryRowOn) {
    struct Case {
        int rows, cols;
        int64_t maxPixels;
        int bunch;
        int factor;
    };
    const Case cases[] = {
        {12, 20, 1000, 5, 1},   // small enough already
        {12, 20, 60, 4, 2},     // exact halves
        {13, 21, 60, 3, 3},     // ceil(21/2) x ceil(13/2) = 77 > 60: the sides decide
        {7, 500, 40, 2, 13},    // a long strip: one row of blocks, cut short at the right
        {1, 1, 1, 1, 1},
        {40, 3, 2, 7, 20},      // narrower than a block
        {30, 30, 0, 30, 30},    // no room at all still keeps one pixel
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.cols) + " x " + std::to_string(c.rows) + " in " + std::to_string(c.maxPixels));
        const Image image = pattern(c.rows, c.cols);
        Image written;
        ImageSink file(written);
        PreviewSink preview(file, c.maxPixels);
        ASSERT_TRUE(feed(preview, image, c.bunch));
        EXPECT_EQ(written.data, image.data);
        EXPECT_EQ(preview.factor(), c.factor);
        EXPECT_LE(int64_t{preview.preview().rows} * preview.preview().cols, std::max<int64_t>(c.maxPixels, 1));
        EXPECT_EQ(preview.preview().data, boxMeans(image, c.factor).data);
    }
}

TEST(PreviewSinkTest, TheLeastFactorThatFits) {
    EXPECT_EQ(previewFactor(65000, 13000, 4'000'000), 15);  // 4334 x 867
    EXPECT_EQ(previewFactor(8403, 3188, 4'000'000), 3);
    EXPECT_EQ(previewFactor(2000, 1000, 4'000'000), 1);
    EXPECT_EQ(previewFactor(65500, 65500, 1), 65500);
}

// A sink that refuses at a chosen step, as a full disk does.
class Refusing : public PanoramaSink {
public:
    explicit Refusing(int refuseAt) : refuseAt_(refuseAt) {}
    bool begin(int, int) override { return step("begin", 0); }
    bool writeRows(const uint8_t*, int) override { return step("rows", 1); }
    bool finish() override { return step("finish", 2); }
    bool holdsWholePanorama() const override { return false; }

private:
    bool step(const char* what, int at) {
        if (at != refuseAt_) return true;
        error_ = std::string("refused at ") + what;
        return false;
    }
    int refuseAt_;
};

TEST(PreviewSinkTest, TheNextSinksRefusalIsItsOwn) {
    for (int at = 0; at < 3; ++at) {
        Refusing next(at);
        PreviewSink preview(next, 100);
        EXPECT_FALSE(feed(preview, pattern(4, 4), 2));
        EXPECT_EQ(preview.error(), next.error());
        EXPECT_FALSE(preview.holdsWholePanorama());
    }
}

TEST(PreviewSinkTest, FinishBeforeTheLastRowIsNoPanorama) {
    Image written;
    ImageSink file(written);
    PreviewSink preview(file, 100);
    ASSERT_TRUE(preview.begin(4, 4));
    const Image image = pattern(4, 4);
    ASSERT_TRUE(preview.writeRows(image.data.data(), 2));
    EXPECT_FALSE(preview.finish());
}

}  // namespace
}  // namespace vantorra
