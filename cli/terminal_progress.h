#pragma once
// The live progress display of vantorra-cli: the stage text and both bars' percentages on one
// line of the standard error stream, redrawn in place.

#include <cstdio>
#include <string>

#include "core/progress_reporter.h"

namespace vantorra {

// "Matching SIFT features  stage  40%  overall  35%"; a bar with no range shows 0%.
std::string progressLine(const std::string& text, int stageMaximum, int stagePosition,
                         int overallMaximum, int overallPosition);

class TerminalProgressView : public ProgressView {
public:
    explicit TerminalProgressView(std::FILE* stream) : stream_(stream) {}
    void setText(const std::string& text) override { text_ = text; }
    void setStageBar(int maximum, int position) override;
    void setOverallBar(int maximum, int position) override;
    void pumpEvents() override {}
    // Redraws the line only when it changed, so frequent reports cost no terminal output.
    void repaint() override;
    // Ends the progress line so later messages start on a fresh one.
    void finish();

private:
    std::FILE* stream_;
    std::string text_;
    int stageMaximum_ = 100, stagePosition_ = 0;
    int overallMaximum_ = 100, overallPosition_ = 0;
    std::string drawn_;
};

}  // namespace vantorra
