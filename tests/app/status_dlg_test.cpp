// The status window as the progress reporter drives it.

#include "app/status_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <map>
#include <thread>

#include "core/progress_reporter.h"

namespace vantorra::testing {
namespace {

struct Bars {
    int stageMax, stage, overallMax, overall;
};

Bars barsOf(const CStatusDlg& window) {
    return {window.stageBar()->maximum(), window.stageBar()->value(), window.overallBar()->maximum(),
            window.overallBar()->value()};
}

class StatusDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        reporter.attach(&window);
    }
    CStatusDlg window;
    ProgressReporter reporter;
};

TEST_F(StatusDlgTest, StartsAsStaticAndAttachShowsInitialising) {
    CStatusDlg fresh;
    EXPECT_EQ(fresh.windowTitle(), "Stitching — Vantorra");
    EXPECT_EQ(fresh.text(), "Static");
    EXPECT_FALSE(fresh.isModal());
    EXPECT_EQ(window.text(), "Initialising...");
    const Bars bars = barsOf(window);
    EXPECT_EQ(bars.stageMax, 100);
    EXPECT_EQ(bars.stage, 1);
    EXPECT_EQ(bars.overallMax, 100);
    EXPECT_EQ(bars.overall, 1);
    // The stage bar sits above the overall bar, each below its label, both with their percentage.
    EXPECT_LT(window.stageBar()->geometry().top(), window.overallBar()->geometry().top());
    std::map<const QWidget*, QString> labelOf;
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (label->buddy() != nullptr) labelOf[label->buddy()] = label->text();
    EXPECT_EQ(labelOf[window.overallBar()], "Overall");
    EXPECT_EQ(labelOf[window.stageBar()], "Initialising...");
    for (const QProgressBar* bar : {window.stageBar(), window.overallBar()}) {
        EXPECT_TRUE(bar->isTextVisible());
        EXPECT_EQ(bar->format(), "%p %");
    }
}

// A run on a thread of its own reports without touching the widgets; the window shows the last
// report a moment later, and its events were handled all along.
TEST_F(StatusDlgTest, ReportsFromTheRunsThreadReachTheWindow) {
    std::thread run([this] {
        reporter.setBlock(2, 4);
        reporter.report(ProgressReporter::Loading, 2, 4);
        reporter.report(ProgressReporter::Matching, 0, 1);
    });
    run.join();
    EXPECT_EQ(window.text(), "Initialising...");  // not yet: only the window's thread shows it
    EXPECT_TRUE(QTest::qWaitFor([this] { return window.text() == "Matching SIFT features"; }, 2000));
    EXPECT_EQ(window.overallBar()->value(), 100);
    EXPECT_EQ(window.stageBar()->maximum(), 1);
}

TEST_F(StatusDlgTest, ReportsMoveTheBarsAsTheExamplesSay) {
    const struct {
        const char* what;
        bool renderOnly;
        int blockIndex, blockCount;
        int stage, index, count;
        const char* text;
        Bars bars;
    } cases[] = {
        {"first image of 5", false, 0, 1, 0, 0, 4, "Loading image 1 of 5", {4, 0, 345, 50}},
        {"final adjustment 1/3", false, 0, 1, 4, 1, 3, "Final Bundle Adjustment", {3, 1, 345, 154}},
        {"final adjustment 2/3", false, 0, 1, 4, 2, 3, "Final Bundle Adjustment", {3, 2, 345, 164}},
        {"final adjustment 3/3", false, 0, 1, 4, 3, 3, "Final Bundle Adjustment", {3, 3, 345, 175}},
        {"rendering block 3 of 4", true, 3, 4, 6, 0, 1, "Rendering block 3 of 4", {1, 0, 170, 95}},
        {"blending block 3 of 4", true, 3, 4, 7, 0, 1, "Blending block 3 of 4", {1, 0, 170, 113}},
        {"gain compensation re-render", true, 1, 1, 5, 0, 1, "Gain Compensation", {1, 0, 170, 10}},
        {"matching", false, 0, 1, 1, 0, 1, "Matching SIFT features", {1, 0, 345, 100}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reporter.attach(&window);  // each case is the first report of its own run
        reporter.renderOnly = c.renderOnly;
        reporter.setBlock(c.blockIndex, c.blockCount);
        reporter.report(c.stage, c.index, c.count);
        EXPECT_EQ(window.text().toStdString(), c.text);
        const Bars bars = barsOf(window);
        EXPECT_EQ(bars.stageMax, c.bars.stageMax);
        EXPECT_EQ(bars.stage, c.bars.stage);
        EXPECT_EQ(bars.overallMax, c.bars.overallMax);
        EXPECT_EQ(bars.overall, c.bars.overall);
    }
}

TEST_F(StatusDlgTest, AnEmptyStageRangeShowsAnEmptyBarNotABusyOne) {
    window.setStageBar(0, 0);
    EXPECT_GT(window.stageBar()->maximum(), window.stageBar()->minimum());
    EXPECT_EQ(window.stageBar()->value(), 0);
    window.setOverallBar(10, 12);
    EXPECT_EQ(window.overallBar()->value(), 10);
}

TEST_F(StatusDlgTest, EveryReportHandlesPendingEvents) {
    int handled = 0;
    QTimer::singleShot(0, [&] { ++handled; });
    QMetaObject::invokeMethod(qApp, [&] { ++handled; }, Qt::QueuedConnection);
    reporter.report(ProgressReporter::Matching, 0, 1);
    EXPECT_EQ(handled, 2);
    // A stage outside the table leaves the text alone but still pumps.
    QMetaObject::invokeMethod(qApp, [&] { ++handled; }, Qt::QueuedConnection);
    reporter.report(9, 0, 1);
    EXPECT_EQ(window.text(), "Matching SIFT features");
    EXPECT_EQ(handled, 3);
}

}  // namespace
}  // namespace vantorra::testing
