// A cancel request stops a real run at whichever stage reports next: the run returns with
// `cancelled` set and no panorama, no exception escapes, and the same Stitcher runs normally
// afterwards.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cancel_flag.h"
#include "core/image.h"
#include "pipeline/stitcher.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

using test::LogCapture;
using test::testData;

const std::vector<std::string> kRow = {"DSC_0100.jpg", "DSC_0107.jpg", "DSC_0114.jpg"};

// Requests the cancel when the run first reports `stage`, as a Cancel button pressed then would.
// The reporter tells a view only the text, so the stage is known from the text's first words.
class CancelAtStage : public ProgressView {
public:
    CancelAtStage(CancelFlag& flag, int stage) : flag(flag), stage(stage) {}
    void setText(const std::string& text) override {
        const std::string wanted = ProgressReporter().stageText(stage, 0, 0).substr(0, 8);
        if (text.rfind(wanted, 0) == 0) flag.request();
    }
    void setStageBar(int, int) override {}
    void setOverallBar(int, int) override {}
    void pumpEvents() override {}
    void repaint() override {}

private:
    CancelFlag& flag;
    int stage;
};

TEST(StitchCancelTest, ACancelAtAnyStageEndsTheRunWithNoPanoramaAndTheNextRunWorks) {
    const struct {
        const char* what;
        int stage;
        bool camerasValid;  // needsRegistration clear afterwards
    } cases[] = {
        {"loading", ProgressReporter::Loading, false},
        {"matching", ProgressReporter::Matching, false},
        {"verification", ProgressReporter::Ransac, false},
        {"registration", ProgressReporter::BundleAdjustment, false},
        {"final adjustment", ProgressReporter::FinalBundleAdjustment, false},
        {"rendering", ProgressReporter::Rendering, true},
        {"blending", ProgressReporter::Blending, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Stitcher stitcher;
        stitcher.options = test::smallOptions(300, "multiband");
        CancelFlag flag;
        CancelAtStage view(flag, c.stage);
        stitcher.progress.cancel = &flag;
        stitcher.progress.attach(&view);
        Image output;
        output.allocate(2, 2, 3);  // whatever the caller held is not left as a result
        RunReport report;
        {
            LogCapture quiet;
            report = stitcher.stitch(testData("matching/row6"), kRow, output, quiet);
        }
        EXPECT_EQ(report.outcome, StitchOutcome::Cancelled);
        EXPECT_TRUE(output.empty());
        EXPECT_TRUE(report.message.empty());
        EXPECT_EQ(stitcher.needsRegistration(), !c.camerasValid);
        EXPECT_TRUE(stitcher.imagesSelected());
        EXPECT_FALSE(stitcher.progress.renderOnly);

        // Cleared, the same engine runs to the end.
        stitcher.progress.attach(nullptr);
        flag.clear();
        {
            LogCapture quiet;
            report = stitcher.stitch(testData("matching/row6"), kRow, output, quiet);
        }
        EXPECT_EQ(report.outcome, StitchOutcome::Stitched);
        EXPECT_FALSE(stitcher.needsRegistration());
        EXPECT_EQ(output.cols, 300);
    }
}

TEST(StitchCancelTest, ACancelledRenderOnlyRunRestoresRenderOnlyAndKeepsTheCameras) {
    Stitcher stitcher;
    stitcher.options = test::smallOptions(300, "none");
    Image output;
    {
        LogCapture quiet;
        stitcher.stitch(testData("matching/row6"), kRow, output, quiet);
    }
    ASSERT_FALSE(stitcher.needsRegistration());
    const std::vector<Camera> cameras = stitcher.cameras();
    CancelFlag flag;
    flag.request();
    stitcher.progress.cancel = &flag;
    stitcher.progress.renderOnly = true;
    RunReport report;
    {
        LogCapture quiet;
        report = stitcher.render(output, quiet);
    }
    EXPECT_EQ(report.outcome, StitchOutcome::Cancelled);
    EXPECT_TRUE(output.empty());
    EXPECT_TRUE(stitcher.progress.renderOnly);  // as the caller set it
    EXPECT_FALSE(stitcher.needsRegistration());
    ASSERT_EQ(stitcher.cameras().size(), cameras.size());
    for (size_t i = 0; i < cameras.size(); ++i) EXPECT_EQ(stitcher.cameras()[i].f, cameras[i].f) << i;
}

TEST(StitchCancelTest, WithoutAViewARequestStillStopsTheRun) {
    Stitcher stitcher;
    CancelFlag flag;
    flag.request();
    stitcher.progress.cancel = &flag;
    Image output;
    LogCapture quiet;
    EXPECT_EQ(stitcher.stitch(testData("matching/row6"), kRow, output, quiet).outcome, StitchOutcome::Cancelled);
    EXPECT_TRUE(output.empty());
    EXPECT_TRUE(stitcher.needsRegistration());
}

}  // namespace
}  // namespace vantorra
