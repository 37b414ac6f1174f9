#include "core/progress_reporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantorra {
namespace {

// Records every call in order so the tests can check both the figures and the sequence.
class RecordingView : public ProgressView {
public:
    struct Bar {
        int maximum = -1;
        int position = -1;
    };
    void setText(const std::string& t) override {
        text = t;
        calls.push_back("text");
    }
    void setStageBar(int maximum, int position) override {
        stage = {maximum, position};
        calls.push_back("stage");
    }
    void setOverallBar(int maximum, int position) override {
        overall = {maximum, position};
        calls.push_back("overall");
    }
    void pumpEvents() override { calls.push_back("pump"); }
    void repaint() override { calls.push_back("repaint"); }

    std::string text;
    Bar stage;
    Bar overall;
    std::vector<std::string> calls;
};

TEST(ProgressReporter, WeightsAndOffsets) {
    const int weights[] = {100, 20, 10, 15, 30, 20, 75, 75};
    int offset = 0;
    for (int stage = 0; stage < 8; ++stage) {
        EXPECT_EQ(ProgressReporter::stageWeight(stage), weights[stage]);
        EXPECT_EQ(ProgressReporter::stageOffset(stage), offset);
        offset += weights[stage];
    }
    EXPECT_EQ(offset, ProgressReporter::kTotalWeight);
    EXPECT_EQ(ProgressReporter::stageWeight(5) + ProgressReporter::stageWeight(6) + ProgressReporter::stageWeight(7),
              ProgressReporter::kRenderOnlyWeight);
    for (int stage : {-1, 8, 100}) {
        EXPECT_EQ(ProgressReporter::stageWeight(stage), 0);
        EXPECT_EQ(ProgressReporter::stageOffset(stage), 0);
    }
}

TEST(ProgressReporter, AttachShowsInitialState) {
    RecordingView view;
    ProgressReporter progress;
    progress.attach(&view);
    EXPECT_EQ(progress.dialog, &view);
    EXPECT_EQ(view.text, "Initialising...");
    EXPECT_EQ(view.stage.maximum, 100);
    EXPECT_EQ(view.stage.position, 1);
    EXPECT_EQ(view.overall.maximum, 100);
    EXPECT_EQ(view.overall.position, 1);
    ASSERT_FALSE(view.calls.empty());
    EXPECT_EQ(view.calls.back(), "repaint");
}

TEST(ProgressReporter, FirstLoadReportNeverShowsAnEmptyBar) {
    RecordingView view;
    ProgressReporter progress;
    progress.attach(&view);
    view.calls.clear();
    const int n = 6;
    progress.report(ProgressReporter::Loading, 0, n - 1);
    EXPECT_EQ(view.text, "Loading image 1 of 6");
    EXPECT_EQ(view.stage.maximum, n - 1);
    EXPECT_EQ(view.stage.position, 0);
    EXPECT_EQ(view.overall.maximum, 345);
    EXPECT_EQ(view.overall.position, 50);
    const std::vector<std::string> order = {"stage", "overall", "text", "pump", "repaint"};
    EXPECT_EQ(view.calls, order);
}

TEST(ProgressReporter, FinalAdjustmentFillsStageBarInThirds) {
    RecordingView view;
    ProgressReporter progress;
    progress.attach(&view);
    for (int i = 1; i <= 3; ++i) {
        progress.report(ProgressReporter::FinalBundleAdjustment, i, 3);
        EXPECT_EQ(view.stage.maximum, 3);
        EXPECT_EQ(view.stage.position, i);
        // The overall bar moves through the stage's 30 units with it.
        EXPECT_EQ(view.overall.position, 145 + 30 * (1000 * i / 3) / 1000);
        EXPECT_EQ(view.text, "Final Bundle Adjustment");
    }
}

TEST(ProgressReporter, OverallBarNeverFallsBackAndFinishFillsIt) {
    RecordingView view;
    ProgressReporter progress;
    progress.attach(&view);
    progress.report(ProgressReporter::BundleAdjustment, 1, 1);
    const int reached = view.overall.position;
    progress.report(ProgressReporter::Matching, 0, 1);  // an earlier stage reported late
    EXPECT_EQ(view.overall.position, reached);
    progress.finish();
    EXPECT_EQ(view.overall.position, view.overall.maximum);
    EXPECT_EQ(view.stage.position, view.stage.maximum);
    progress.attach(&view);  // a new run starts from the bottom again
    progress.report(ProgressReporter::Loading, 0, 5);
    EXPECT_LT(view.overall.position, reached);
}

TEST(ProgressReporter, RenderBlocksAdvanceOverallBar) {
    struct Case {
        bool renderOnly;
        int stage;
        int block;
        int blocks;
        int maximum;
        int position;
        const char* text;
    };
    const Case cases[] = {
        {true, 6, 3, 4, 170, 95, "Rendering block 3 of 4"},
        {true, 7, 3, 4, 170, 113, "Blending block 3 of 4"},
        {true, 6, 1, 1, 170, 20, "Rendering block 1 of 1"},
        {true, 7, 1, 1, 170, 95, "Blending block 1 of 1"},
        {false, 6, 3, 4, 345, 270, "Rendering block 3 of 4"},
        {false, 7, 4, 4, 345, 326, "Blending block 4 of 4"},
        {true, 5, 0, 1, 170, 10, "Gain Compensation"},
        {false, 5, 0, 1, 345, 175, "Gain Compensation"},
        {true, 0, 0, 1, 170, 0, "Loading image 1 of 2"},
        {true, 3, 2, 1, 170, 130, "Bundle Adjustment"},
        {false, 1, 0, 1, 345, 100, "Matching SIFT features"},
        {false, 2, 0, 1, 345, 120, "Performing RANSAC"},
    };
    for (const Case& c : cases) {
        RecordingView view;
        ProgressReporter progress;
        progress.renderOnly = c.renderOnly;
        progress.attach(&view);
        progress.setBlock(c.block, c.blocks);
        progress.report(c.stage, 0, 1);  // the start of the stage
        EXPECT_EQ(view.overall.maximum, c.maximum) << c.stage << " " << c.block;
        EXPECT_EQ(view.overall.position, c.position) << c.stage << " " << c.block;
        EXPECT_EQ(view.text, c.text);
    }
}

TEST(ProgressReporter, UnknownStageKeepsTextAndStillPumps) {
    RecordingView view;
    ProgressReporter progress;
    progress.attach(&view);
    progress.report(ProgressReporter::Matching, 0, 1);
    view.calls.clear();
    progress.report(9, 2, 4);
    EXPECT_EQ(view.text, "Matching SIFT features");
    EXPECT_EQ(view.overall.position, 100);  // where Matching left it: the bar never falls back
    const std::vector<std::string> order = {"stage", "overall", "pump", "repaint"};
    EXPECT_EQ(view.calls, order);
}

TEST(ProgressReporter, ZeroBlockCountDoesNotDivideByZero) {
    ProgressReporter progress;
    progress.setBlock(1, 0);
    EXPECT_EQ(progress.overallPosition(ProgressReporter::Blending), 175 + 20 + 75);
}

TEST(ProgressReporter, WithoutViewReportDoesNothing) {
    ProgressReporter progress;
    progress.attach(nullptr);
    progress.report(ProgressReporter::Loading, 0, 3);  // must not touch a view
    EXPECT_EQ(progress.dialog, nullptr);
    EXPECT_EQ(progress.overallPosition(ProgressReporter::Loading), 50);
}

}  // namespace
}  // namespace vantorra
