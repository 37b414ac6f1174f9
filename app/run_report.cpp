#include "app/run_report.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace vantorra {

namespace {

std::string sizeText(int width, int height) { return std::to_string(width) + " × " + std::to_string(height); }

std::string photographs(int count) { return std::to_string(count) + (count == 1 ? " photograph" : " photographs"); }

}  // namespace

int RunReport::usedCount() const {
    return static_cast<int>(std::count_if(photographs.begin(), photographs.end(),
                                          [](const PhotographEntry& entry) { return entry.used; }));
}

int RunReport::percentOfFull() const {
    if (fullWidth <= 0 || width <= 0) return 100;
    return std::max(1, static_cast<int>(std::lround(100.0 * width / fullWidth)));
}

std::vector<PhotographEntry> photographEntries(const Stitcher& stitcher) {
    std::vector<PhotographEntry> entries;
    for (size_t i = 0; i < stitcher.imageNames.size(); ++i) {
        PhotographEntry entry;
        entry.path = stitcher.imageDirectory + stitcher.imageNames[i];
        entry.used = std::find(stitcher.component.begin(), stitcher.component.end(), static_cast<int32_t>(i)) !=
                     stitcher.component.end();
        if (!entry.used) {
            const bool sized = i < stitcher.imageSizes.size() && stitcher.imageSizes[i].width > 0;
            entry.reason = sized ? "no overlap" : "unreadable";
            // The engine's own reason when it left the photograph out ("PATH: reason").
            const std::string& skipped =
                i < stitcher.skippedReasons.size() ? stitcher.skippedReasons[i] : std::string();
            if (!skipped.empty())
                entry.reason = skipped.rfind(entry.path + ": ", 0) == 0 ? skipped.substr(entry.path.size() + 2)
                                                                         : skipped;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

RunReport makeRunReport(const Stitcher& stitcher, int width, int height, const std::string& panoramaPath,
                        const std::string& parameterPath) {
    RunReport report;
    report.panoramaPath = panoramaPath;
    report.parameterPath = parameterPath;
    report.width = width;
    report.height = height;
    // The renderer leaves the output pixels per photograph pixel in the scale option.
    const float scale = stitcher.options.render.scale;
    const bool known = std::isfinite(scale) && scale > 0.0f;
    report.fullWidth = known ? static_cast<int>(std::lround(width / scale)) : width;
    report.fullHeight = known ? static_cast<int>(std::lround(height / scale)) : height;
    report.photographs = photographEntries(stitcher);
    return report;
}

std::string summaryLine(const RunReport& report) {
    std::string line = "Panorama " + sizeText(report.width, report.height) + " written to " + report.panoramaPath;
    const int total = static_cast<int>(report.photographs.size());
    if (total == 0) return line;
    line += ": " + std::to_string(report.usedCount()) + " of " + photographs(total);
    if (report.leftOutCount() > 0) line += ", " + std::to_string(report.leftOutCount()) + " left out";
    return line;
}

std::string sizeLine(const RunReport& report) {
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
