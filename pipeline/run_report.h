#pragma once
// How a run ended and what it decided: the one value a run hands back across the engine's edge.
// A cancel request unwinds a run inside the engine; it leaves the engine as the Cancelled outcome.

#include <cstdint>
#include <string>
#include <vector>

#include "adjust/registration_summary.h"
#include "render/renderer.h"

namespace vantorra {

enum class StitchOutcome {
    Stitched,    // cameras registered (or read) and the panorama rendered
    NoMatches,   // no two photographs overlap: "No image matches found"
    Unreadable,  // the input could not be used: fewer than two readable photographs, or a
                 // parameter file refused or without records (the message says which)
    Failed,      // stopped short for another reason: the memory budget, a render that failed
    Cancelled,   // a cancel request stopped it ("Stitching cancelled"); nothing was rendered
};

// A photograph the run could not use at all: unreadable, or a repeat of another's view.
struct LeftOutPhotograph {
    int32_t image = -1;   // its number in the run
    std::string reason;   // "PATH: reason"
};

struct RunReport {
    StitchOutcome outcome = StitchOutcome::Failed;
    // Why it did not stitch, as a sentence for the user (Unreadable, Failed); empty otherwise.
    std::string message;
    // Photographs given, or the records the parameter file held (0 when it held none).
    int records = 0;
    std::vector<LeftOutPhotograph> leftOut;  // in image order
    // What the user should know though the run went on (a parameter file whose panorama beside
    // it is another run's, say), one sentence each.
    std::vector<std::string> warnings;
    RegistrationSummary registration;        // empty unless this run registered cameras
    RenderResult render;                     // render.rendered false when nothing was drawn

    bool stitched() const { return outcome == StitchOutcome::Stitched; }
};

}  // namespace vantorra
