#pragma once
// How the options ask for the panorama's file to be encoded, and the metadata a run's panorama
// carries from its photographs.

#include <string>
#include <vector>

#include "io/panorama_format.h"
#include "options/stitch_options.h"

namespace vantorra {

// The format, depth and quality of the options (an unknown format name stands for JPEG).
PanoramaEncoding panoramaEncoding(const RenderOptions& options);

// Empty when the options' encoding can hold the panorama they ask for, else why not, for a
// refusal before any work: a JPEG of 16 bits, or one wider or taller than it can be.
std::string encodingProblem(const RenderOptions& options);

}  // namespace vantorra
