#pragma once
// What registration achieved, for the user: how many photographs were registered, the RMS
// transfer error of the kept matches at full resolution, and which photographs were left out.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "matching/match_table.h"
#include "numerics/camera.h"

namespace vantorra {

// One ordered pair's error figures under the final cameras.
struct PairError {
    int32_t first = 0;
    int32_t second = 0;
    int32_t matches = 0;
    float rmsFullResolution = 0.0f;  // pixels of the second photograph at full resolution
};

struct RegistrationSummary {
    int32_t registered = 0;  // photographs in the panorama
    int32_t total = 0;       // photographs given to the run
    float rmsFullResolution = 0.0f;
    std::vector<std::string> leftOut;  // file names (without directory) of the others, in input order
    std::vector<PairError> pairs;
    bool empty() const { return total == 0; }
};

// Figures of every ordered pair of `component` with matches: each match's first position carried
// into the second image and measured against its partner, scaled to full-resolution pixels by the
// second camera's imageTransform. `names` are the input names (paths allowed).
RegistrationSummary summariseRegistration(const MatchTable& matches,
                                          const std::vector<Camera>& cameras,
                                          const std::vector<int32_t>& component,
                                          const std::vector<std::string>& names);

// "6 of 7 photographs registered; RMS error 0.4 px (full resolution); left out: IMG_0107.jpg";
// the left-out part only when something was left out, names separated by ", ". The error has
// one decimal from 1 px up and two significant digits below.
std::string summaryLine(const RegistrationSummary& summary);

// One log line per pair: "  Pair i-j: n matches, RMS error e px (full resolution)".
void logPairErrors(const RegistrationSummary& summary, std::ostream& log);

}  // namespace vantorra
