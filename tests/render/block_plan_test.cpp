#include "render/block_plan.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "options/option_ranges.h"
#include "render/compositor_registry.h"

namespace vantorra {
namespace {

TEST(RenderBlockPlan, WidthModeKeepsTheAngularAspect) {
    RenderOptions options;  // width mode, 1400 columns
    const ImageFootprint unused;
    const OutputSize full = outputSize(options, 6.2831853f, 3.14159266f, unused, 0, 0);
    EXPECT_EQ(full.width, 1400);
    EXPECT_EQ(full.height, 700);  // trunc(pi * 1399 / 2pi) + 1

    options.sizeMode = SizeMode::Height;
    options.height = 301;
    const OutputSize byHeight = outputSize(options, 2.0f, 1.0f, unused, 0, 0);
    EXPECT_EQ(byHeight.height, 301);
    EXPECT_EQ(byHeight.width, 601);
}

TEST(RenderBlockPlan, ScaleModeFollowsTheReferenceImage) {
    RenderOptions options;
    options.sizeMode = SizeMode::Scale;
    options.scale = 0.5f;
    ImageFootprint reference;  // 1000 x 800 pixels spanning 0.4 rad down and 0.3 rad across
    reference.firstEdgePhi = 0.4f;
    reference.secondEdgeTheta = 0.3f;
    const OutputSize size = outputSize(options, 3.0f, 1.0f, reference, 1000, 800);
    // W1 = 3 * 500 / 0.4 = 3750, W2 = 3 * 400 / 0.3 = 4000: the larger, without +1.
    EXPECT_NEAR(size.width, 4000, 1);
    EXPECT_EQ(size.height, static_cast<int>(1.0f * static_cast<float>(size.width - 1) / 3.0f) + 1);
}

TEST(RenderBlockPlan, DegenerateSizesStayDrawable) {
    RenderOptions options;
    const ImageFootprint unused;
    options.width = 1;
    EXPECT_EQ(outputSize(options, 1.0f, 1.0f, unused, 0, 0).width, 2);
    EXPECT_FALSE(outputSize(options, 1.0f, 1.0f, unused, 0, 0).tooLarge());
    // Past the JPEG limit the side is held at it and the size asked for is kept, so the render
    // can refuse it with both figures.
    options.width = 1000000;
    const OutputSize huge = outputSize(options, 1.0f, 0.001f, unused, 0, 0);
    EXPECT_EQ(huge.width, kMaxPanoramaSide);
    EXPECT_TRUE(huge.tooLarge());
    EXPECT_EQ(huge.requestedWidth, 1000000.0);
}

TEST(RenderBlockPlan, PlannedBlocksKeepEveryBufferInsideTheBudget) {
    struct Case {
        int64_t budget, held;
        int width, height;
        bool streamed;
    };
    const Case cases[] = {{256 << 20, 0, 1400, 600, false},      {256 << 20, 150 << 20, 8401, 3187, true},
                          {256 << 20, 0, 30000, 15000, true},     {64 << 20, 10 << 20, 4000, 2000, true},
                          {int64_t{4} << 30, 150 << 20, 8401, 3187, false}};
    const RenderOptions options;
    const Compositor& multiband = *compositors().find("multiband")->component;
    const int64_t pixelBytes = multiband.blockPixelBytes(options, 3, false);
    const int margin = multiband.blockMargin(options, false);
    for (const Case& c : cases) {
        const int b = planBlockSize(c.budget, c.held, c.width, c.height, c.streamed, pixelBytes, margin,
                                    64, 8192);
        EXPECT_EQ(b & (b - 1), 0) << b;  // a power of two
        const int64_t rows = c.streamed ? std::min(b, c.height) : c.height;
        const int64_t side = 2 * int64_t{margin};
        const int64_t need = c.held + 3 * int64_t{c.width} * rows +
                             pixelBytes * (std::min(b, c.height) + side) * (std::min(b, c.width) + side);
        EXPECT_LE(need, c.budget) << c.width << "x" << c.height;
        // The next power of two would not fit (or is beyond the largest block).
        const int64_t b2 = 2 * int64_t{b};
        const int64_t rows2 = c.streamed ? std::min<int64_t>(b2, c.height) : c.height;
        const int64_t need2 = c.held + 3 * int64_t{c.width} * rows2 +
                              pixelBytes * (std::min<int64_t>(b2, c.height) + side) *
                                  (std::min<int64_t>(b2, c.width) + side);
        if (b2 <= 8192 && b2 < std::max(c.width, c.height)) {
            EXPECT_GT(need2, c.budget) << c.width;
        }
    }
}

// Many images at one pixel make every block pixel expensive: the block shrinks below the
// preferred size to keep the budget, and when even the smallest block cannot, the smallest is
// what comes nearest (the preferred 512 would take 2 GB here). What a row of blocks holds may
// depend on its height.
TEST(RenderBlockPlan, BlocksShrinkBelowThePreferredSizeToKeepTheBudget) {
    const int64_t pixelBytes = 44 + 32 * 200;  // two hundred images meeting
    const int64_t budget = int64_t{64} << 20;
    const int b = planBlockSize(budget, 0, 4000, 2000, true, pixelBytes, 30, 512, 8192);
    EXPECT_LT(b, 512);
    EXPECT_GE(b, kSmallestBlock);
    EXPECT_LE(3 * 4000 * int64_t{b} + pixelBytes * (b + 60) * (b + 60), budget);
    EXPECT_GT(3 * 4000 * int64_t{2 * b} + pixelBytes * (2 * b + 60) * (2 * b + 60), budget);

    EXPECT_EQ(planBlockSize(int64_t{1} << 20, 0, 4000, 2000, false, pixelBytes, 30, 512, 8192), kSmallestBlock);
    EXPECT_EQ(planBlockSize(int64_t{1} << 20, 0, 4000, 2000, true, pixelBytes, 30, 512, 8192), kSmallestBlock);

    // Held bytes that grow with the block: a smaller block than a constant would give.
    auto rowsHeld = [](int block) { return int64_t{block} * 200 * 3000; };
    const int banded = planBlockSize(budget, rowsHeld, 4000, 2000, true, 100, 0, 16, 8192);
    EXPECT_LE(rowsHeld(banded) + 3 * 4000 * int64_t{banded} + 100 * int64_t{banded} * banded, budget);
    EXPECT_GT(rowsHeld(2 * banded) + 3 * 4000 * int64_t{2 * banded} + 100 * int64_t{4} * banded * banded, budget);
}

TEST(RenderBlockPlan, BlockSizeIsAPowerOfTwoWithinTheBudget) {
    struct Case {
        int64_t budget;
        int width, height, minBlock, maxBlock, expected;
    };
    const Case cases[] = {
        {805306368, 1400, 700, 512, 8192, 2048},  // q = 15430122, sqrt 3928: 2^11
        {3 * 1400 * 700, 1400, 700, 512, 8192, 512},  // output alone spends the budget
        {1000, 1400, 700, 512, 8192, 512},             // budget smaller than the output
        {int64_t{1} << 40, 100, 100, 512, 8192, 8192},
        {3 * 100 * 100 + 52 * 64 * 64, 100, 100, 16, 8192, 64},
        {3 * 100 * 100 + 52 * 64 * 64 - 1, 100, 100, 16, 8192, 32},
    };
    for (const Case& c : cases)
        EXPECT_EQ(renderBlockSize(c.budget, c.width, c.height, c.minBlock, c.maxBlock), c.expected)
            << "budget " << c.budget;
}

TEST(RenderBlockPlan, MarginOnlyForMultiBand) {
    RenderOptions options;
    const Compositor& multiband = *compositors().find("multiband")->component;
    EXPECT_EQ(multiband.blockMargin(options, false), 30);
    options.blendingBands = 3;
    options.blendingSigma = 2.0f;
    EXPECT_EQ(multiband.blockMargin(options, false), 18);
    options.blockMargin = false;
    EXPECT_EQ(multiband.blockMargin(options, false), 0);
    options.blockMargin = true;
    for (const char* name : {"none", "linear"}) EXPECT_EQ(compositors().find(name)->component->blockMargin(options, false), 0);
}

TEST(RenderBlockPlan, BlocksTileTheOutputWithoutPassingItsEdge) {
    const int width = 1300, height = 700, block = 512;
    const int rows = blockCount(height, block), cols = blockCount(width, block);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(cols, 3);
    std::vector<int> covered(static_cast<size_t>(width) * height, 0);
    for (int br = 0; br < rows; ++br)
        for (int bc = 0; bc < cols; ++bc) {
            const BlockBounds b = blockBounds(br, bc, block, block, width, height);
            ASSERT_LE(b.rowEnd, height - 1);
            ASSERT_LE(b.colEnd, width - 1);
            for (int r = b.rowStart; r <= b.rowEnd; ++r)
                for (int c = b.colStart; c <= b.colEnd; ++c) ++covered[static_cast<size_t>(r) * width + c];
        }
    for (const int n : covered) ASSERT_EQ(n, 1);
    const BlockBounds last = blockBounds(rows - 1, cols - 1, block, block, width, height);
    EXPECT_EQ(last.rowEnd - last.rowStart + 1, 700 - 512);
    EXPECT_EQ(last.colEnd - last.colStart + 1, 1300 - 1024);
}

// Even blocks: as many as the planned side gives, or one more to make the count even, none wider
// than the planned side, tiling the width once.
TEST(RenderBlockPlan, EvenBlocksShareTheWidthInAnEvenCount) {
    for (const int width : {1, 2, 15, 700, 1024, 1025, 1400, 3000, 8401, 65535})
        for (const int block : {16, 512, 1024, 4096}) {
            SCOPED_TRACE(testing::Message() << width << " / " << block);
            const int side = evenBlockSide(width, block);
            ASSERT_GE(side, 1);
            ASSERT_LE(side, block);
            const int count = blockCount(width, side);
            const int planned = blockCount(width, block);
            EXPECT_TRUE(count == planned || count == planned + 1) << count << " for " << planned;
            // Odd only when one more block would not make the blocks narrower.
            if (count % 2 != 0 && planned > 1) {
                EXPECT_EQ(count, planned);
                EXPECT_EQ((width + planned) / (planned + 1), (width + planned - 1) / planned);
            }
            int covered = 0;
            for (int c = 0; c < count; ++c) {
                const BlockBounds b = blockBounds(0, c, block, side, width, 1);
                EXPECT_EQ(b.colStart, covered);
                covered = b.colEnd + 1;
            }
            EXPECT_EQ(covered, width);
        }
    // The 1400-pixel default: two blocks of 700, not 1024 and 376; 8401 pixels: ten of 841, not
    // eight of 1024 and one of 209.
    EXPECT_EQ(evenBlockSide(1400, 1024), 700);
    EXPECT_EQ(evenBlockSide(8401, 1024), 841);
}

}  // namespace
}  // namespace vantorra
