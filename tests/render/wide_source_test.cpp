// A photograph of 16 bits keeps its fine tones in the source of a 16-bit panorama, and costs the
// plan four bytes a sample; an 8-bit photograph, or an 8-bit panorama, keeps the bytes.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "core/photograph.h"
#include "render/prepared_source.h"
#include "render/wide_source.h"

namespace vantorra {
namespace {

const std::string kFormats = std::string(VANTORRA_TEST_DATA) + "/formats/";

TEST(WideSource, SixteenBitSamplesKeepTheirFractionsWholeAndReduced) {
    FloatImage whole, half;
    SourceCover cover;  // the file has no alpha: it stays empty
    std::string error;
    ASSERT_TRUE(decodeWideSource(kFormats + "rgb16.png", 1, 0, 0.0f, whole, cover, error)) << error;
    ASSERT_TRUE(decodeWideSource(kFormats + "rgb16.png", 2, 1, 0.0f, half, cover, error)) << error;
    ASSERT_EQ(whole.rows, 48);
    ASSERT_EQ(whole.cols, 64);
    EXPECT_EQ(half.rows, 12);  // halved by the reader, then once more
    EXPECT_EQ(half.cols, 16);
    EXPECT_TRUE(cover.empty());
    // The green ramp of the file (x 97 + y 1013, 16 bits) on the 0..255 scale of every source.
    std::set<float> levels;
    for (int y = 0; y < whole.rows; ++y)
        for (int x = 0; x < whole.cols; ++x) {
            EXPECT_NEAR(whole.at(y, x, 1), ((x * 97 + y * 1013) & 0xFFFF) / 257.0f, 1e-3f);
            levels.insert(whole.at(y, x, 1));
        }
    EXPECT_GT(levels.size(), 256u);
    EXPECT_FALSE(decodeWideSource(kFormats + "missing.png", 1, 0, 0.0f, whole, cover, error));
    EXPECT_NE(error.find("missing.png"), std::string::npos);
}

// The first 8 of 64 columns of the file are uncovered (alpha 0): reduced 4 times, its first 2.
TEST(WideSource, APhotographWithAlphaBringsItsCoverReducedWithIt) {
    FloatImage image;
    SourceCover cover;
    std::string error;
    ASSERT_TRUE(decodeWideSource(kFormats + "rgba16.tif", 2, 1, 0.0f, image, cover, error)) << error;
    ASSERT_EQ(cover.cols, image.cols);
    ASSERT_EQ(cover.covered.size(), static_cast<size_t>(image.rows) * image.cols);
    for (int r = 0; r < image.rows; ++r)
        for (int c = 0; c < image.cols; ++c)
            EXPECT_EQ(cover.covered[static_cast<size_t>(r) * cover.cols + c] != 0, c >= 2) << r << "," << c;
    // A band keeps its rows' cover.
    cover.keepRows(3, 2);
    EXPECT_EQ(cover.covered.size(), static_cast<size_t>(2) * cover.cols);
}

TEST(WideSource, OnlyAWidePhotographForAWidePanoramaIsPlannedWide) {
    const std::vector<Photograph> photographs = {Photograph("rgb16.png", {48, 64, 3}),
                                                 Photograph("grey8.png", {48, 64, 3})};
    const PhotoSources sources{kFormats, photographs};
    ImageFootprint footprint;
    footprint.firstEdgePixels = footprint.secondEdgePixels = 64;  // as fine as the output
    struct Case {
        int image;
        bool wideOutput, wide;
    };
    for (const Case c : {Case{0, true, true}, Case{0, false, false}, Case{1, true, false}}) {
        SCOPED_TRACE(c.image);
        const SourcePlan plan = planSource(sources, 0.375f, c.image, footprint, c.wideOutput);
        EXPECT_EQ(plan.wide, c.wide);
        EXPECT_EQ(plan.bytes, int64_t{plan.rows} * plan.cols * 3 * (c.wide ? 4 : 1));
    }
}

}  // namespace
}  // namespace vantorra
