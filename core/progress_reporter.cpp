#include "core/progress_reporter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

#include "core/stitch_cancelled.h"

namespace vantorra {

namespace {

constexpr int kStageCount = 8;
constexpr std::array<int, kStageCount> kStageWeights = {100, 20, 10, 15, 30, 20, 75, 75};

// Rendering and blending share the render weight (150 units at the default size): each block
// moves the overall bar by weight / blockCount, the first half when its rendering ends and the
// rest when its blending ends.
constexpr int kMostRenderShare = 150 * 100;

std::string formatted(const char* format, int a, int b) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

int ProgressReporter::stageWeight(int stage) {
    return stage >= 0 && stage < kStageCount ? kStageWeights[static_cast<size_t>(stage)] : 0;
}

int ProgressReporter::stageOffset(int stage) {
    if (stage < 0 || stage >= kStageCount) return 0;
    int offset = 0;
    for (int s = 0; s < stage; ++s) offset += kStageWeights[static_cast<size_t>(s)];
    return offset;
}

void ProgressReporter::attach(ProgressView* view) {
    dialog = view;
    shownPosition_ = 0;
    if (dialog == nullptr) return;
    dialog->setStageBar(100, 1);
    dialog->setOverallBar(100, 1);
    dialog->setText("Initialising...");
    dialog->repaint();
}

void ProgressReporter::setBlock(int index, int count) {
    blockIndex = index;
    blockCount = count;
}

void ProgressReporter::setRenderShare(int weight) {
    renderShare_ = std::clamp(weight, kDefaultRenderShare, kMostRenderShare) & ~1;  // halves per block
}

int ProgressReporter::overallMaximum() const {
    const int extra = renderShare_ - kDefaultRenderShare;
    return (renderOnly ? kRenderOnlyWeight : kTotalWeight) + extra;
}

int ProgressReporter::overallPosition(int stage, int index, int count) const {
    // How far into its stage the report is, in thousandths.
    const int64_t part = count > 0 ? std::clamp<int64_t>(int64_t{1000} * index / count, 0, 1000) : 0;
    int position = 0;
    if (stage == GainCompensation && renderOnly) {
        position = stageWeight(GainCompensation) / 2;
    } else if (stage == Rendering || stage == Blending) {
        // A block count below one would divide by zero; such a plan has at most one block.
        const int blocks = blockCount > 0 ? blockCount : 1;
        const int64_t half = renderShare_ / 2;  // of each block: rendering, then blending
        const int64_t share = half * part / 1000;
        const int64_t within = int64_t{renderShare_} * (std::max(blockIndex, 1) - 1) +
                               (stage == Blending ? half : 0) + share;
        position = stageWeight(GainCompensation) + static_cast<int>(within / blocks);
        if (!renderOnly) position += stageOffset(GainCompensation);
    } else {
        position = stageOffset(stage) + static_cast<int>(stageWeight(stage) * part / 1000);
    }
    // The bar is never empty while the images load.
    if (position == 0 && !renderOnly) position = stageWeight(Loading) / 2;
    return std::min(position, overallMaximum());
}

std::string ProgressReporter::stageText(int stage, int index, int count) const {
    switch (stage) {
        case Loading: return formatted("Loading image %d of %d", index + 1, count + 1);
        case Matching: return "Matching SIFT features";
        case Ransac: return "Performing RANSAC";
        case BundleAdjustment: return "Bundle Adjustment";
        case FinalBundleAdjustment: return "Final Bundle Adjustment";
        case GainCompensation: return "Gain Compensation";
        case Rendering: return formatted("Rendering block %d of %d", blockIndex, blockCount);
        case Blending: return formatted("Blending block %d of %d", blockIndex, blockCount);
        default: return std::string();
    }
}

void ProgressReporter::finish() {
    if (dialog == nullptr) return;
    shownPosition_ = overallMaximum();
    dialog->setStageBar(100, 100);
    dialog->setOverallBar(shownPosition_, shownPosition_);
    dialog->repaint();
}

void ProgressReporter::throwIfCancelled() const {
    if (cancel != nullptr && cancel->requested()) throw StitchCancelled();
}

void ProgressReporter::report(int stage, int index, int count) {
    throwIfCancelled();
    if (dialog == nullptr) return;
    dialog->setStageBar(count, index);
    shownPosition_ = std::max(shownPosition_, overallPosition(stage, index, count));
    dialog->setOverallBar(overallMaximum(), shownPosition_);
    const std::string text = stageText(stage, index, count);
    if (!text.empty()) dialog->setText(text);
    dialog->pumpEvents();
    // A Cancel button or a closed window is only seen while the events are handled.
    throwIfCancelled();
    dialog->repaint();
}

}  // namespace vantorra
