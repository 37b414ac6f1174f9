// Blocks composed at once on several threads: the same panorama and log as one block at a time,
// progress only from the render's thread, and the budget deciding how many run at once.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/image.h"
#include "pipeline/stitcher.h"
#include "core/thread_pool.h"
#include "render/block_plan.h"
#include "render/renderer.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

// Records every call's thread and the overall bar.
class ThreadCheckingView : public ProgressView {
public:
    void setText(const std::string&) override { note(); }
    void setStageBar(int, int) override { note(); }
    void setOverallBar(int, int position) override {
        note();
        positions.push_back(position);
    }
    void pumpEvents() override { note(); }
    void repaint() override { note(); }
    void note() {
        if (std::this_thread::get_id() != owner) ++foreignCalls;
    }
    std::thread::id owner = std::this_thread::get_id();
    int foreignCalls = 0;
    std::vector<int> positions;
};

// The log without the line that names how many blocks ran at once.
std::string withoutConcurrency(const std::string& log) {
    std::istringstream in(log);
    std::string kept;
    for (std::string line; std::getline(in, line);)
        if (line.rfind(" Blocks at once", 0) != 0) kept += line + "\n";
    return kept;
}

TEST(BlockLoop, BlocksAtOnceGiveTheSameBytesLogAndRisingProgressFromTheCallerOnly) {
    const std::string row6 = test::testData("matching/row6");
    Stitcher stitcher;
    stitcher.options = test::smallOptions(700, "multiband");
    Image first;
    {
        test::LogCapture log;
        ASSERT_EQ(stitcher.stitch(row6, test::jpegNames(row6), first, log).outcome, StitchOutcome::Stitched);
    }
    for (const char* blending : {"none", "linear", "multiband"}) {
        RenderOptions options = stitcher.options.render;
        options.blendingMethod = blending;
        options.minBlockSize = 64;
        options.maxBlockSize = 64;  // several blocks to a row
        const RenderScene scene = stitcher.renderScene();
        Image one, four;
        std::string oneLog, fourLog;
        ThreadCheckingView view;
        {
            ThreadPool single(1);
            test::LogCapture log;
            Renderer(options, int64_t{256} << 20).render(one, scene, {}, stitcher.progress, log, &single);
            oneLog = log.text();
        }
        {
            ThreadPool several(4);
            stitcher.progress.attach(&view);
            test::LogCapture log;
            const RenderResult result = Renderer(options, int64_t{256} << 20).render(four, scene, {}, stitcher.progress, log, &several);
            fourLog = log.text();
            stitcher.progress.attach(nullptr);
            ASSERT_TRUE(result.rendered);
        }
        ASSERT_FALSE(one.empty());
        EXPECT_TRUE(one.data == four.data) << "blending " << blending;
        EXPECT_NE(fourLog.find(" Blocks at once = 4"), std::string::npos) << fourLog.substr(0, 400);
        EXPECT_EQ(withoutConcurrency(oneLog), withoutConcurrency(fourLog)) << "blending " << blending;
        EXPECT_EQ(view.foreignCalls, 0);
        ASSERT_FALSE(view.positions.empty());
        for (size_t i = 1; i < view.positions.size(); ++i)
            ASSERT_GE(view.positions[i], view.positions[i - 1]) << "report " << i;
        // The last block reported finished is the last of all.
        EXPECT_EQ(stitcher.progress.blockIndex, stitcher.progress.blockCount);
    }
}

TEST(BlockLoop, TheBudgetDecidesHowManyBlocksRunAtOnce) {
    // 100 x 100 blocks, margin 0, 10 bytes a pixel: 100,000 bytes a block; the panorama's
    // row of blocks 1000 x 100 x 3 = 300,000 bytes, and 50,000 held.
    const int64_t shared = 50000 + 300000, perBlock = 100000;
    auto atOnce = [&](int64_t budget, int limit) {
        return concurrentBlocks(budget, 50000, 1000, 1000, true, 10, 0, 100, limit);
    };
    EXPECT_EQ(atOnce(shared + 3 * perBlock, 8), 3);
    EXPECT_EQ(atOnce(shared + 3 * perBlock - 1, 8), 2);
    EXPECT_EQ(atOnce(shared + 30 * perBlock, 4), 4);  // no more than the threads
    EXPECT_EQ(atOnce(shared, 8), 1);                 // one block even over the budget
    EXPECT_EQ(atOnce(0, 8), 1);
    EXPECT_EQ(atOnce(shared + 30 * perBlock, 1), 1);
    // The margin counts, and a block larger than the panorama costs only what the panorama
    // covers; a panorama held whole counts all its rows.
    EXPECT_EQ(concurrentBlocks(shared + 2 * 10 * 120 * 120, 50000, 1000, 1000, true, 10, 10, 100, 8), 2);
    EXPECT_EQ(concurrentBlocks(300000 + 2 * 10 * 100 * 1000, 0, 1000, 100, true, 10, 0, 4096, 8), 2);
    EXPECT_EQ(concurrentBlocks(3000000 + 2 * perBlock, 0, 1000, 1000, false, 10, 0, 100, 8), 2);
}

}  // namespace
}  // namespace vantorra
