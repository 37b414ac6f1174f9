#pragma once
// What the main window shows after a run: where the panorama went, its size against the
// full-resolution size, and every photograph of the run marked used or left out with the reason.
// Plain data built from the Stitcher, so the texts can be checked without a window.

#include <string>
#include <vector>

#include "io/photo_selection.h"
#include "pipeline/stitcher.h"

namespace vantorra {

struct PhotographEntry {
    std::string path;
    bool used = false;
    std::string reason;  // why it was left out ("no overlap with the other photographs", ...)
};

struct ResultSummary {
    std::string panoramaPath;   // absolute
    std::string parameterPath;  // absolute
    int width = 0;
    int height = 0;
    int fullWidth = 0;  // the size at 100 % scale of the photographs
    int fullHeight = 0;
    std::vector<PhotographEntry> photographs;

    int usedCount() const;
    int leftOutCount() const { return static_cast<int>(photographs.size()) - usedCount(); }
    // Whole percent of full resolution, at least 1 for any panorama.
    int percentOfFull() const;
};

// Every image of the last run in image-number order: used when it is part of the panorama, else
// left out with the engine's reason or for want of overlap; then every path left out before the
// run (`chosenLeftOut`) with its reason.
std::vector<PhotographEntry> photographEntries(const Stitcher& stitcher, const std::vector<SkippedFile>& chosenLeftOut = {});

// The report of a written panorama as `render` decided it.
ResultSummary makeResultSummary(const Stitcher& stitcher, const RenderResult& render, const std::string& panoramaPath,
                                const std::string& parameterPath, const std::vector<SkippedFile>& chosenLeftOut = {});

// What "No image matches found" means for the photographs in hand.
std::string noMatchesText();

// "Panorama 8401 × 3187 written to /path/pano.jpg: 6 of 7 photographs, 1 left out".
std::string summaryLine(const ResultSummary& report);
// "1400 × 531, 17 % of full resolution (8235 × 3123)".
std::string sizeLine(const ResultSummary& report);
// The status line while a run goes on: "Stitching 6 photographs…", "Rendering 6 photographs…".
std::string runningLine(bool renderOnly, int photographCount);

// The parameter file that goes with a panorama: same folder and stem, ".txt".
std::string parameterPathFor(const std::string& panoramaPath);

}  // namespace vantorra
