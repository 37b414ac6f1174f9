// The overall bar of a whole run: it only rises, and it is full when the panorama is done.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/progress_reporter.h"
#include "pipeline/stitcher.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

class OverallBarLog : public ProgressView {
public:
    void setText(const std::string&) override {}
    void setStageBar(int, int) override {}
    void setOverallBar(int maximum, int position) override {
        this->maximum = maximum;
        positions.push_back(position);
    }
    void pumpEvents() override {}
    void repaint() override {}
    int maximum = 0;
    std::vector<int> positions;
};

TEST(PipelineProgress, OverallBarRisesMonotonicallyToFullForEveryKindOfRun) {
    const std::string row6 = test::testData("matching/row6");
    struct Case {
        const char* blending;
        int maxBlock;
    };
    for (const Case c : {Case{"multiband", 8192}, Case{"multiband", 64}, Case{"none", 8192}}) {
        Stitcher stitcher;
        stitcher.options = test::smallOptions(800, c.blending);
        stitcher.options.render.minBlockSize = 64;
        stitcher.options.render.maxBlockSize = c.maxBlock;
        OverallBarLog bar;
        stitcher.progress.attach(&bar);
        Image output;
        {
            test::LogCapture log;
            ASSERT_EQ(stitcher.stitch(row6, test::jpegNames(row6), output, log).outcome, StitchOutcome::Stitched);
        }
        ASSERT_GT(bar.positions.size(), 10u);
        for (size_t i = 1; i < bar.positions.size(); ++i)
            ASSERT_GE(bar.positions[i], bar.positions[i - 1]) << "report " << i << " blocks " << c.maxBlock;
        EXPECT_EQ(bar.positions.back(), bar.maximum);
        // Re-rendering alone starts its bar afresh and fills it too.
        bar.positions.clear();
        stitcher.progress.attach(&bar);
        stitcher.progress.renderOnly = true;
        {
            test::LogCapture log;
            stitcher.render(output, log);
        }
        stitcher.progress.renderOnly = false;
        for (size_t i = 1; i < bar.positions.size(); ++i) ASSERT_GE(bar.positions[i], bar.positions[i - 1]);
        EXPECT_EQ(bar.positions.back(), bar.maximum);
        stitcher.progress.attach(nullptr);
    }
}

}  // namespace
}  // namespace vantorra
