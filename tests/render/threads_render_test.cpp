// Rendering on several threads must give exactly the panorama one thread gives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/image.h"
#include "pipeline/stitcher.h"
#include "core/thread_pool.h"
#include "render/gain_compensation.h"
#include "render/renderer.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

// Registers row6 once (the verification's random draws differ from run to run), then renders
// the same cameras with one and with four threads.
TEST(ThreadedRender, AnyThreadCountGivesTheSameBytesForEveryBlendingMethod) {
    struct Case {
        const char* blending;
        bool gains;
        int64_t memory;  // small enough that no feature image is kept: sources are decoded
        const char* seam;
    };
    const Case cases[] = {{"none", false, 268435456, "cut"},      {"linear", true, 268435456, "cut"},
                          {"multiband", false, 268435456, "cut"}, {"multiband", true, 4000000, "cut"},
                          {"none", false, 268435456, "none"},     {"multiband", true, 4000000, "none"}};
    const std::string row6 = test::testData("matching/row6");
    for (const Case& c : cases) {
        Stitcher stitcher;
        stitcher.options = test::smallOptions(900, c.blending);
        stitcher.options.systemMemory = c.memory;
        Image first;
        {
            test::LogCapture log;
            ASSERT_EQ(stitcher.stitch(row6, test::jpegNames(row6), first, log).outcome, StitchOutcome::Stitched);
        }
        RenderOptions options = stitcher.options.render;
        options.gainCompensation = c.gains;
        options.seam = c.seam;
        const RenderScene scene = stitcher.renderScene();
        Gains gains;
        Image one, four;
        {
            test::LogCapture log;
            if (c.gains)
                gains = computeGains(options, scene, stitcher.progress, log);
            ThreadPool single(1), several(4);
            Renderer(options, c.memory).render(one, scene, gains, stitcher.progress, log, &single);
            Renderer(options, c.memory).render(four, scene, gains, stitcher.progress, log, &several);
        }
        ASSERT_FALSE(one.empty()) << c.blending;
        EXPECT_EQ(one.rows, four.rows);
        EXPECT_EQ(one.cols, four.cols);
        EXPECT_TRUE(one.data == four.data) << "blending " << c.blending << " memory " << c.memory << " seam " << c.seam;
    }
}

}  // namespace
}  // namespace vantorra
