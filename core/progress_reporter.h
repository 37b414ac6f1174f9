#pragma once
// Progress of a run: the stage text and two bars (the stage bar and the overall bar, whose
// share per stage is fixed by the stage weights). The engine reports; a ProgressView shows it.
// The Qt status window, the command-line display and tests each implement ProgressView.

#include <cstdint>
#include <string>

#include "core/cancel_flag.h"

namespace vantorra {

// What a status window must offer the reporter.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void setText(const std::string& text) = 0;
    virtual void setStageBar(int maximum, int position) = 0;    // range 0..maximum
    virtual void setOverallBar(int maximum, int position) = 0;  // range 0..maximum
    virtual void pumpEvents() = 0;  // handle every pending user-interface event
    virtual void repaint() = 0;
};

class ProgressReporter {
public:
    // Stage numbers of the pipeline, in the order they run.
    enum Stage : int {
        Loading = 0,
        Matching = 1,
        Ransac = 2,
        BundleAdjustment = 3,
        FinalBundleAdjustment = 4,
        GainCompensation = 5,
        Rendering = 6,
        Blending = 7,
    };
    static constexpr int kTotalWeight = 345;
    static constexpr int kRenderOnlyWeight = 170;  // stages 5, 6 and 7

    static int stageWeight(int stage);
    static int stageOffset(int stage);  // sum of the weights of all lower stages

    // The share of the overall bar that rendering and blending take together, in the units of
    // the stage weights: kDefaultRenderShare at the default output size, more for larger
    // panoramas, whose render takes most of the run. Set before the run's first report; the
    // weights of the other stages stay as they are.
    static constexpr int kDefaultRenderShare = 150;
    void setRenderShare(int weight);
    int renderShare() const { return renderShare_; }

    // Stores the view (not owned); both bars 0..100 at 1, text "Initialising...", repaint.
    void attach(ProgressView* view);
    void setBlock(int index, int count);
    // Updates both bars and the text, pumps events and repaints. Without a view it only checks
    // for a cancel request: one seen before or after the events were handled throws
    // StitchCancelled (engine/stitch_cancelled.h).
    void report(int stage, int index, int count);
    // The run is over and its panorama written: both bars full.
    void finish();

    // The figures report() computes, exposed so the bars can be checked without a window. The
    // position moves through a stage's share as index goes from 0 to count; report() never
    // shows a position below one it has shown since attach().
    int overallMaximum() const;
    int overallPosition(int stage, int index = 0, int count = 0) const;
    // The stage text, or an empty string for a stage that leaves the text unchanged.
    std::string stageText(int stage, int index, int count) const;

    bool renderOnly = false;
    int32_t blockIndex = 0;
    int32_t blockCount = 1;
    ProgressView* dialog = nullptr;
    const CancelFlag* cancel = nullptr;  // not owned; none means the run cannot be cancelled

private:
    void throwIfCancelled() const;
    int shownPosition_ = 0;  // the highest overall position shown since attach()
    int renderShare_ = kDefaultRenderShare;
};

}  // namespace vantorra
