#include "app/result_summary.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace vantorra {

namespace {

std::string sizeText(int width, int height) { return std::to_string(width) + " × " + std::to_string(height); }

std::string photographs(int count) { return std::to_string(count) + (count == 1 ? " photograph" : " photographs"); }

}  // namespace

int ResultSummary::usedCount() const {
    return static_cast<int>(std::count_if(photographs.begin(), photographs.end(),
                                          [](const PhotographEntry& entry) { return entry.used; }));
}

int ResultSummary::percentOfFull() const {
    if (fullWidth <= 0 || width <= 0) return 100;
    return std::max(1, static_cast<int>(std::lround(100.0 * width / fullWidth)));
}

std::vector<PhotographEntry> photographEntries(const Stitcher& stitcher, const std::vector<SkippedFile>& chosenLeftOut) {
    std::vector<PhotographEntry> entries;
    const std::vector<Photograph>& photographs = stitcher.photographs();
    const std::vector<int32_t>& component = stitcher.component();
    for (size_t i = 0; i < photographs.size(); ++i) {
        PhotographEntry entry;
        entry.path = stitcher.directory() + photographs[i].name;
        entry.used = std::find(component.begin(), component.end(), static_cast<int32_t>(i)) != component.end();
        if (!entry.used) {
            entry.reason = photographs[i].size.width > 0 ? "no overlap with the other photographs" : "unreadable";
            // The engine's own reason when it left the photograph out ("PATH: reason").
            const std::string& skipped = photographs[i].leftOut;
            if (!skipped.empty())
                entry.reason = skipped.rfind(entry.path + ": ", 0) == 0 ? skipped.substr(entry.path.size() + 2)
                                                                         : skipped;
        }
        entries.push_back(std::move(entry));
    }
    for (const SkippedFile& skipped : chosenLeftOut) entries.push_back({skipped.path, false, skipped.reason});
    return entries;
}

std::string noMatchesText() {
    return "No image matches found: no two of the photographs overlap enough to be joined. The list of "
           "photographs shows each one and why it was left out.";
}

ResultSummary makeResultSummary(const Stitcher& stitcher, const RenderResult& render, const std::string& panoramaPath,
                                const std::string& parameterPath, const std::vector<SkippedFile>& chosenLeftOut) {
    const int width = render.width, height = render.height;
    ResultSummary report;
    report.panoramaPath = panoramaPath;
    report.parameterPath = parameterPath;
    report.width = width;
    report.height = height;
    // The render's own figure: the size a render at 100 % gives, the same every time.
    report.fullWidth = render.fullWidth > 0 ? render.fullWidth : width;
    report.fullHeight = render.fullHeight > 0 ? render.fullHeight : height;
    report.photographs = photographEntries(stitcher, chosenLeftOut);
    return report;
}

std::string summaryLine(const ResultSummary& report) {
    std::string line = "Panorama " + sizeText(report.width, report.height) + " written to " + report.panoramaPath;
    const int total = static_cast<int>(report.photographs.size());
    if (total == 0) return line;
    line += ": " + std::to_string(report.usedCount()) + " of " + photographs(total);
    if (report.leftOutCount() > 0) line += ", " + std::to_string(report.leftOutCount()) + " left out";
    return line;
}

std::string sizeLine(const ResultSummary& report) {
    std::string line = sizeText(report.width, report.height) + ", " + std::to_string(report.percentOfFull()) +
                       " % of full resolution";
    if (report.fullWidth > 0 && report.fullWidth != report.width) line += " (" + sizeText(report.fullWidth, report.fullHeight) + ")";
    return line;
}

std::string runningLine(bool renderOnly, int photographCount) {
    return std::string(renderOnly ? "Rendering " : "Stitching ") + photographs(photographCount) + "…";
}

std::string parameterPathFor(const std::string& panoramaPath) {
    return std::filesystem::path(panoramaPath).replace_extension(".txt").string();
}

}  // namespace vantorra
