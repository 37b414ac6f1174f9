#include "render/prepared_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/image.h"
#include "io/jpeg.h"
#include "render/warp.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

const std::string kPhoto = std::string(VANTORRA_TEST_DATA) + "/features/view_600x400.jpg";

// A scene of one photograph, its full size known, no feature image kept.
struct OnePhoto {
    OnePhoto() {
        JpegHeader header;
        EXPECT_TRUE(readJpegHeader(kPhoto, header));
        size = {header.height, header.width, 3};
        photographs = {Photograph{kPhoto, size}};
        sources.photographs = photographs;
        camera.R = Matrix(3, 3);
        camera.R.setIdentity();
        camera.f = 500.0f;
        camera.imageTransform = Matrix(3, 3);
        camera.imageTransform.setIdentity();
    }
    // A footprint whose edges are `ratio` times shorter than the photograph's.
    ImageFootprint footprintAt(float ratio) const {
        ImageFootprint f;
        f.firstEdgePixels = static_cast<float>(size.height) / ratio;
        f.secondEdgePixels = static_cast<float>(size.width) / ratio;
        return f;
    }
    ImageSize size;
    std::vector<Photograph> photographs;
    PhotoSources sources;
    Camera camera;
};

double meanDifference(const Image& a, const FloatImage& b, int rows, int cols) {
    double sum = 0;
    long count = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            for (int k = 0; k < 3; ++k) {
                sum += std::fabs(a.at(r, c, k) - b.at(r, c, k));
                ++count;
            }
    return count > 0 ? sum / static_cast<double>(count) : 1e9;
}

// The decoder's own scaling stands in for box halvings: what it gives must stay within a level
// on average of the float reduction of the whole photograph, at every reduction it takes part in.
TEST(PreparedSource, DecodedReductionStaysCloseToTheFloatReduction) {
    const OnePhoto photo;
    FloatImage full;
    ASSERT_TRUE(readPhoto(kPhoto, full));
    for (const float ratio : {1.0f, 1.3f, 2.0f, 2.7f, 4.0f, 6.0f, 8.0f, 12.0f, 20.0f}) {
        const SourcePlan plan = planSource(photo.sources, 0.375f, 0, photo.footprintAt(ratio));
        EXPECT_FALSE(plan.fromFeatureImage);
        const PreparedSource source = prepareSource(photo.sources, plan, 0, photo.camera, Gains{});
        ASSERT_FALSE(source.bytes.empty()) << ratio << ": " << source.error;
        EXPECT_EQ(source.bytes.rows, plan.rows) << ratio;
        EXPECT_EQ(source.bytes.cols, plan.cols) << ratio;
        EXPECT_EQ(plan.bytes, int64_t{plan.rows} * plan.cols * 3);

        Matrix transform = photo.camera.imageTransform;
        const FloatImage reference = ratio > 1.0f ? reduceForOutput(full, ratio, 0.375f, transform) : full;
        // The decoder rounds a side up where halving drops the odd pixel: compare the common part.
        ASSERT_GE(source.bytes.rows, reference.rows);
        ASSERT_GE(source.bytes.cols, reference.cols);
        const double mean = meanDifference(source.bytes, reference, reference.rows, reference.cols);
        EXPECT_LT(mean, 1.0) << "ratio " << ratio;
        // Both sources map a direction onto the same place.
        const Mat3 expected = Mat3::fromMatrix(transform) * focalMatrix(photo.camera.f);
        for (int e = 0; e < 9; ++e) EXPECT_NEAR(source.projection.P.m[e], expected.m[e], 1e-3f) << ratio;
    }
}

TEST(PreparedSource, UnreadablePhotographGivesAnEmptySourceWithItsReason) {
    OnePhoto photo;
    photo.photographs[0].name = "/nonexistent/missing.jpg";
    const SourcePlan plan = planSource(photo.sources, 0.375f, 0, photo.footprintAt(2.0f));
    const PreparedSource source = prepareSource(photo.sources, plan, 0, photo.camera, Gains{});
    EXPECT_TRUE(source.empty());
    EXPECT_NE(source.error.find("missing.jpg"), std::string::npos) << source.error;
}

// The byte blur is the float blur rounded once: never more than half a level apart.
TEST(PreparedSource, ByteBlurMatchesTheFloatBlur) {
    Image bytes;
    bytes.allocate(23, 31, 3);
    for (size_t i = 0; i < bytes.data.size(); ++i) bytes.data[i] = static_cast<uint8_t>((i * 37 + i / 7) % 256);
    FloatImage floats(23, 31, 3);
    for (size_t i = 0; i < bytes.data.size(); ++i) floats.data[i] = bytes.data[i];
    for (const float sigma : {0.4f, 0.75f, 1.5f, 3.0f}) {
        Image blurred = bytes;
        blurBytes(blurred, sigma);
        const FloatImage reference = gaussianBlur(floats, sigma);
        float worst = 0;
        for (size_t i = 0; i < blurred.data.size(); ++i)
            worst = std::fmax(worst, std::fabs(blurred.data[i] - reference.data[i]));
        EXPECT_LE(worst, 0.5f + 1e-3f) << sigma;
    }
}

}  // namespace
}  // namespace vantorra
