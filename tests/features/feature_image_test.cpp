#include "features/feature_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "features/arena_pools.h"

namespace vantorra {
namespace {

FeatureOptions pixelMode(int minDim = 400) {
    FeatureOptions options;
    options.siftSizeMode = SiftSizeMode::MinDimension;
    options.siftMinDim = minDim;
    return options;
}

FeatureOptions scaleMode(float scale) {
    FeatureOptions options;
    options.siftSizeMode = SiftSizeMode::Scale;
    options.siftScale = scale;
    return options;
}

TEST(FeatureImage, ReductionCountFollowsTheSizeMode) {
    struct Case {
        const char* name;
        int rows, cols;
        FeatureOptions options;
        int halvings;
    };
    const Case cases[] = {
        {"pixel 1600x1200 stops at 800x600", 1200, 1600, pixelMode(), 1},
        {"pixel 3000x2000 to 750x500", 2000, 3000, pixelMode(), 2},
        {"pixel small image untouched", 300, 500, pixelMode(), 0},
        {"pixel exactly twice the minimum", 800, 800, pixelMode(), 1},
        {"pixel just under twice the minimum", 799, 5000, pixelMode(), 0},
        {"scale 0.25", 1200, 1600, scaleMode(0.25f), 2},
        {"scale 1.0 not reduced", 1200, 1600, scaleMode(1.0f), 0},
        {"scale 0.1 three halvings", 1200, 1600, scaleMode(0.1f), 3},
        {"scale 0.5 one halving", 1200, 1600, scaleMode(0.5f), 1},
        // Degenerate settings must still stop: a side of 1 is never halved.
        {"pixel zero minimum", 64, 16, pixelMode(0), 4},
        {"scale zero", 64, 16, scaleMode(0.0f), 4},
    };
    for (const Case& c : cases)
        EXPECT_EQ(featureReductionCount(c.rows, c.cols, c.options), c.halvings) << c.name;
}

TEST(FeatureImage, ThumbnailHalvesWhileBothSidesReachTwiceTheMinimum) {
    struct Case {
        int rows, cols, minDim, halvings;
    };
    const Case cases[] = {
        {400, 600, 50, 3},   // 200x300, 100x150, 50x75
        {99, 600, 50, 0},    // too small: the thumbnail is a copy
        {100, 100, 50, 1},   // 50x50
        {800, 1200, 50, 4},  // 50x75
        {10, 10, 0, 3},      // a zero minimum stops at one pixel
    };
    for (const Case& c : cases)
        EXPECT_EQ(thumbnailReductionCount(c.rows, c.cols, c.minDim), c.halvings)
            << c.rows << "x" << c.cols << " min " << c.minDim;
}

TEST(FeatureImage, DetectorModeDependsOnTheSmallerSide) {
    const FeatureOptions options;  // upsampleBelow 300, detectorMode 2
    struct Case {
        int rows, cols, mode;
    };
    const Case cases[] = {
        {299, 800, 1}, {800, 299, 1}, {212, 400, 0}, {213, 400, 1},
        {300, 300, 2}, {600, 400, 2}, {100, 100, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseDetectorMode(c.rows, c.cols, options), c.mode) << c.rows << "x" << c.cols;
    FeatureOptions fixed;
    fixed.detectorMode = DetectorMode::Doubled;
    EXPECT_EQ(chooseDetectorMode(500, 500, fixed), 1);
}

TEST(FeatureImage, BudgetKeepsImagesUpToTheirShare) {
    // 1 MiB over 2 images of 3 channels: 43690 pixels each.
    const int64_t budget = 1 << 20;
    EXPECT_TRUE(keepsFeatureImage(200, 218, 3, 2, budget));   // 43600
    EXPECT_TRUE(keepsFeatureImage(1, 43690, 3, 2, budget));
    EXPECT_FALSE(keepsFeatureImage(1, 43691, 3, 2, budget));
    EXPECT_FALSE(keepsFeatureImage(10, 10, 3, 0, budget));  // no images: nothing to share
}

TEST(FeatureImage, GreyIsTheMeanOfTheChannels) {
    FloatImage image(2, 3, 3);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) image.at(r, c, k) = static_cast<float>(r * 100 + c * 10 + k * 3);
    const GreyRaster* grey = greyRaster(image);
    ASSERT_NE(grey, nullptr);
    ASSERT_EQ(grey->rows, 2);
    ASSERT_EQ(grey->cols, 3);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(grey->data[r][c], r * 100 + c * 10 + 3.0f);
    poolRelease(kScratchPool);
}

struct Prepared {
    bool ok = false;
    std::string log;
    std::string error;
    ImageSize size;
    FloatImage featureImage;
    int32_t featureLevel = -1;
    FloatImage thumbnail;
    int32_t thumbnailLevel = -1;
    int64_t memory = 0;
    Feature* features = nullptr;
};

Prepared prepare(const std::string& path, const FeatureOptions& options, int n = 5,
                 const FeatureBudget& budget = {}) {
    Prepared p;
    std::ostringstream log;
    Photograph photograph;
    p.ok = prepareImage(path, options, budget, n, log, photograph, p.memory, p.features, &p.error);
    p.log = log.str();
    p.size = photograph.size;
    p.featureImage = std::move(photograph.featureImage);
    p.featureLevel = photograph.featureLevel;
    p.thumbnail = std::move(photograph.thumbnail);
    p.thumbnailLevel = photograph.thumbnailLevel;
    return p;
}

const std::string kView = std::string(VANTORRA_TEST_DATA) + "/features/view_600x400.jpg";

TEST(FeatureImage, PreparesAPhotographForMatching) {
    const int64_t scratchBefore = poolHeapBytes();
    FeatureOptions options = scaleMode(0.5f);
    Prepared p = prepare(kView, options);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.log, "");  // nothing to say of a photograph read whole
    EXPECT_EQ(p.size.height, 400);
    EXPECT_EQ(p.size.width, 600);
    EXPECT_EQ(p.size.channels, 3);
    EXPECT_EQ(p.featureLevel, 1);
    EXPECT_EQ(p.featureImage.rows, 200);
    EXPECT_EQ(p.featureImage.cols, 300);
    // 200x300 -> 100x150 -> 50x75 for a minimum of 50.
    EXPECT_EQ(p.thumbnailLevel, 3);
    EXPECT_EQ(p.thumbnail.rows, 50);
    EXPECT_EQ(p.thumbnail.cols, 75);
    EXPECT_EQ(p.memory, (200 * 300 + 50 * 75) * 3 * 4);
    ASSERT_NE(p.features, nullptr);
    for (const Feature* f = p.features; f != nullptr; f = f->next) {
        EXPECT_GE(f->row, 0.0);
        EXPECT_LE(f->row, 199.0);
        EXPECT_GE(f->col, 0.0);
        EXPECT_LE(f->col, 299.0);
    }
    // Pool 1 was given back: once the features go, only the small blur buffers of pool 0 remain.
    EXPECT_TRUE(std::isfinite(p.features->orientation));
    poolRelease(kFeaturePool);
    EXPECT_LT(poolHeapBytes() - scratchBefore, 64 * 1024);
}

TEST(FeatureImage, ReleasesTheFeatureImageOverBudget) {
    FeatureBudget budget;
    budget.featureImageBytes = 1000;
    Prepared p = prepare(kView, pixelMode(), 2, budget);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.featureLevel, 0);
    EXPECT_TRUE(p.featureImage.empty());
    EXPECT_FALSE(p.thumbnail.empty());
    EXPECT_EQ(p.memory, int64_t{p.thumbnail.rows} * p.thumbnail.cols * 3 * 4);
    poolRelease(kFeaturePool);
}

TEST(FeatureImage, UnreadableFileFailsWithAReason) {
    Prepared p = prepare(std::string(VANTORRA_TEST_DATA) + "/features/no_such_file.jpg", pixelMode());
    EXPECT_FALSE(p.ok);
    EXPECT_FALSE(p.error.empty());
    EXPECT_EQ(p.features, nullptr);
}

TEST(FeatureImage, ExhaustedHeapFailsTheImageCleanly) {
    poolRelease(kScratchPool);
    poolSetHeapLimit(poolHeapBytes() + 200000);
    Prepared p = prepare(kView, pixelMode());
    poolSetHeapLimit(-1);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.error, "SIFT - Failed to allocate memory");
    EXPECT_NE(p.log.find("SIFT - Failed to allocate memory\n"), std::string::npos);
    EXPECT_EQ(p.features, nullptr);
    poolRelease(kFeaturePool);
}

}  // namespace
}  // namespace vantorra
