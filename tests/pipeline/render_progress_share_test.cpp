// The render's share of the overall bar: the default at the default size, most of the bar for a
// panorama at full resolution, and a bar that still rises to full with any share.

#include <gtest/gtest.h>

#include <vector>

#include "core/progress_reporter.h"
#include "pipeline/render_progress_share.h"

namespace vantorra {
namespace {

TEST(RenderWeight, FollowsTheExpectedOutputPixelsAndNeverFallsBelowTheDefault) {
    RenderOptions options;
    options.sizeMode = SizeMode::Width;
    options.width = 1400;
    EXPECT_EQ(renderProgressShare(options, {}), ProgressReporter::kDefaultRenderShare);
    options.width = 700;  // smaller outputs keep the default share
    EXPECT_EQ(renderProgressShare(options, {}), ProgressReporter::kDefaultRenderShare);
    options.width = 5600;  // sixteen times the pixels
    EXPECT_EQ(renderProgressShare(options, {}), 16 * ProgressReporter::kDefaultRenderShare);

    options.sizeMode = SizeMode::Height;
    options.height = 1400;
    EXPECT_DOUBLE_EQ(expectedOutputPixels(options, {}), 3.0 * 1400 * 1400);

    // Eight 3000 x 2000 photographs at full size: about 29 megapixels, 44 times the default.
    options.sizeMode = SizeMode::Scale;
    options.scale = 1.0f;
    const std::vector<ImageSize> eight(8, ImageSize{2000, 3000, 3});
    EXPECT_NEAR(expectedOutputPixels(options, eight), 8 * 6.0e6 * 0.6, 1.0);
    EXPECT_NEAR(renderProgressShare(options, eight), 44.08 * ProgressReporter::kDefaultRenderShare, 2.0);
    options.scale = 0.1f;  // the default scale of a set like it
    EXPECT_EQ(renderProgressShare(options, eight), ProgressReporter::kDefaultRenderShare);
    EXPECT_EQ(renderProgressShare(options, {}), ProgressReporter::kDefaultRenderShare);  // sizes unknown
}

TEST(RenderWeight, ALargeRenderTakesMostOfTheBarWhichStillEndsFull) {
    for (const bool renderOnly : {false, true}) {
        ProgressReporter reporter;
        reporter.renderOnly = renderOnly;
        reporter.setRenderShare(6000);
        const int most = reporter.overallMaximum();
        EXPECT_EQ(most, (renderOnly ? 20 : 195) + 6000);
        // Everything before the render is a small part of the bar.
        EXPECT_LT(reporter.overallPosition(ProgressReporter::GainCompensation, 1, 1), most / 20);
        std::vector<int> positions;
        const int blocks = 7;
        for (int b = 1; b <= blocks; ++b) {
            reporter.setBlock(b, blocks);
            for (const int stage : {ProgressReporter::Rendering, ProgressReporter::Blending})
                for (int i = 0; i <= 4; ++i) positions.push_back(reporter.overallPosition(stage, i, 4));
        }
        for (size_t i = 1; i < positions.size(); ++i) ASSERT_GE(positions[i], positions[i - 1]) << i;
        EXPECT_EQ(positions.back(), most);
        // Halfway through the blocks is about halfway through the bar.
        EXPECT_NEAR(positions[positions.size() / 2], most / 2, most / 10);
    }
    ProgressReporter reporter;
    reporter.setRenderShare(1);  // never less than the default, never odd
    EXPECT_EQ(reporter.renderShare(), ProgressReporter::kDefaultRenderShare);
    reporter.setRenderShare(1001);
    EXPECT_EQ(reporter.renderShare(), 1000);
}

}  // namespace
}  // namespace vantorra
