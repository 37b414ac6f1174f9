#include "cli/terminal_progress.h"

#include <algorithm>
#include <cstdio>

namespace vantorra {
namespace {

int percent(int maximum, int position) {
    if (maximum <= 0) return 0;
    const long long value = static_cast<long long>(position) * 100 / maximum;
    return static_cast<int>(std::clamp<long long>(value, 0, 100));
}

}  // namespace

std::string progressLine(const std::string& text, int stageMaximum, int stagePosition, int overallMaximum,
                         int overallPosition) {
    char bars[64];
    std::snprintf(bars, sizeof bars, "  stage %3d%%  overall %3d%%", percent(stageMaximum, stagePosition),
                  percent(overallMaximum, overallPosition));
    return text + bars;
}

void TerminalProgressView::setStageBar(int maximum, int position) {
    stageMaximum_ = maximum;
    stagePosition_ = position;
}

void TerminalProgressView::setOverallBar(int maximum, int position) {
    overallMaximum_ = maximum;
    overallPosition_ = position;
}

void TerminalProgressView::repaint() {
    const std::string line = progressLine(text_, stageMaximum_, stagePosition_, overallMaximum_, overallPosition_);
    if (line == drawn_) return;
    // Carriage return and erase-to-end-of-line redraw the line in place.
    std::fprintf(stream_, "\r%s\033[K", line.c_str());
    std::fflush(stream_);
    drawn_ = line;
}

void TerminalProgressView::finish() {
    if (drawn_.empty()) return;
    std::fputc('\n', stream_);
    std::fflush(stream_);
    drawn_.clear();
}

}  // namespace vantorra
