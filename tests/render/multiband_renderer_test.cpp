#include <algorithm>
#include <cmath>
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

// A full turn of eight views, alternately darker and brighter, their nearest-centre seams at
// multiples of 45 degrees (one on the panorama's edge), its cameras turned by `columns` output
// columns; drawn on `mapping` when one is given, and with the mapping it was drawn on.
Image fullTurn(const std::string& projection, int columns, int width, const OutputMapping& mapping = {},
               OutputMapping* drawnOn = nullptr) {
    testing::Scene stitcher;
    const float step = kTwoPi / static_cast<float>(width);
    std::vector<std::pair<float, float>> views;
    for (int i = 0; i < 8; ++i) views.push_back({-kPi + (i + 0.5f) * kPi / 4, 0.0f});
    testing::buildScene(stitcher, views, 150, 120, 160);
    // A small photograph ending just short of the edge, its centre nearer the edge than any other.
    const float small = kPi - 8.0f * kPi / 180.0f;
    testing::buildScene(stitcher, {{small, 0.0f}}, 150, 40, 40);
    views.push_back({small, 0.0f});
    for (size_t i = 0; i < views.size(); ++i) {
        for (float& v : stitcher.photographs[i].featureImage.data) v *= i == 8 ? 0.1f : (i % 2 == 0 ? 0.7f : 1.2f);
        const int rows = i < 8 ? 120 : 40, cols = i < 8 ? 160 : 40;
        stitcher.cameras[i] = testing::cameraLookingAt(views[i].first + columns * step, 0.0f, 150, rows, cols);
    }
    RenderOptions options;
    options.projection = projection;
    options.blendingMethod = "multiband";
    options.blendingBands = 3;
    options.seam = "none";
    options.width = width;
    options.minBlockSize = options.maxBlockSize = 64;
    options.mapping = mapping;
    Image panorama;
    const RenderResult result = renderScene(stitcher.view(), options, panorama);
    if (drawnOn != nullptr) *drawnOn = result.mapping;
    return panorama;
}

// Largest difference of any sample between column c of `a` and column c - shift of `b`
// (wrapping), over the columns c within `reach` of `at`.
int rolledDifference(const Image& a, const Image& b, int shift, int at, int reach) {
    int largest = 0;
    for (int c = at - reach; c < at + reach; ++c) {
        const int ca = (c % a.cols + a.cols) % a.cols, cb = ((c - shift) % b.cols + b.cols) % b.cols;
        for (int r = 0; r < a.rows; ++r)
            for (int k = 0; k < 3; ++k) largest = std::max(largest, std::abs(a.at(r, ca, k) - b.at(r, cb, k)));
    }
    return largest;
}

TEST(MultibandRenderer, FullTurnBlendsAcrossItsEdgeAsAnywhereElse) {
    // The same photographs with their cameras turned by a quarter of a view's spacing: the
    // panorama is the first rolled by as many columns, across the first's edge (where two views
    // meet and the small one ends) as in its middle. Drawn again on the first's recorded
    // mapping, a full turn still runs across its edge.
    const int width = 512, shift = width / 32;
    for (const char* projection : {"equirectangular", "cylindrical", "mercator"})
        for (const bool recorded : {false, true}) {
            SCOPED_TRACE(std::string(projection) + (recorded ? ", on the recorded mapping" : ""));
            OutputMapping drawnOn;
            Image first = fullTurn(projection, 0, width, {}, &drawnOn);
            const OutputMapping mapping = recorded ? drawnOn : OutputMapping{};
            if (recorded) first = fullTurn(projection, 0, width, mapping);
            const Image turned = fullTurn(projection, shift, width, mapping);
            ASSERT_EQ(first.cols, width);
            ASSERT_EQ(turned.cols, width);
            ASSERT_EQ(turned.rows, first.rows);
            EXPECT_LE(rolledDifference(turned, first, shift, width / 2, 40), 1);
            EXPECT_LE(rolledDifference(turned, first, shift, shift, 40), 1);
        }
}

}  // namespace
}  // namespace vantorra
