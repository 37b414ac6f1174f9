#pragma once
// The engine's photographs and cameras as the parameter file records them.

#include <iosfwd>
#include <vector>

#include "io/parameter_file.h"
#include "pipeline/stitcher.h"

namespace vantorra {

// One record per photograph of `stitcher`, with its camera (an empty one where it has none).
std::vector<CameraRecord> cameraRecords(const Stitcher& stitcher);

// Writes the parameter file of the stitcher's photographs and panorama, in the layout its
// options choose.
std::ostream& writeParameterFile(std::ostream& out, const Stitcher& stitcher);

}  // namespace vantorra
