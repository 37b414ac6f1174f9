#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>

#include <gtest/gtest.h>

#include "support/render_support.h"
#include "render/renderer.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

// Largest difference of any sample between two panoramas of the same size.
int largestDifference(const Image& a, const Image& b) {
    int largest = 0;
    for (size_t i = 0; i < a.data.size(); ++i)
        largest = std::max(largest, std::abs(static_cast<int>(a.data[i]) - b.data[i]));
    return largest;
}

TEST(MultibandRenderer, OneBlockAndManyBlocksDifferByAtMostTwoLevelsWithMargins) {
    struct Case {
        int bands;
        float sigma;
    };
    const Case cases[] = {{2, 5.0f}, {1, 5.0f}, {3, 2.0f}};
    for (const Case& t : cases) {
        SCOPED_TRACE(::testing::Message() << t.bands << " bands, sigma " << t.sigma);
        testing::Scene stitcher;
        testing::buildScene(stitcher, {{-0.3f, 0.05f}, {0.3f, -0.05f}, {0.0f, 0.4f}}, 150, 120,
                            160);
        auto render = [&](int block, bool margin) {
            Image panorama;
            RenderOptions& options = stitcher.options;
            options = RenderOptions();
            options.blendingMethod = "multiband";
            options.blendingBands = t.bands;
            options.blendingSigma = t.sigma;
            options.width = 300;
            options.blockMargin = margin;
            options.minBlockSize = block;
            options.maxBlockSize = block;
            renderScene(stitcher.view(), options, panorama);
            return panorama;
        };
        const Image one = render(1024, true);
        const Image many = render(32, true);
        ASSERT_EQ(one.rows, many.rows);
        ASSERT_EQ(one.cols, many.cols);
        ASSERT_GT(one.rows, 64);
        const int withMargin = largestDifference(one, many);
        const int withoutMargin = largestDifference(one, render(32, false));
        std::cout << "  " << t.bands << " bands, sigma " << t.sigma << ": one vs 32-pixel blocks "
                  << withMargin << " levels with margins, " << withoutMargin << " without"
                  << std::endl;
        EXPECT_LE(withMargin, 2);
    }
}

}  // namespace
}  // namespace vantorra
