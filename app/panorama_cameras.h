#pragma once
// The cameras of a panorama the window shows, kept apart from the engine: the parameter file
// that goes with the panorama is made from them, wherever and whenever it is saved, even after
// a later run has changed the engine's cameras.

#include <cstdint>
#include <string>
#include <vector>

#include "io/parameter_file.h"
#include "pipeline/stitcher.h"

namespace vantorra {

class PanoramaCameras {
public:
    PanoramaCameras() = default;
    // The stitcher's photographs (by the paths they are opened with) and cameras as they are now.
    explicit PanoramaCameras(const Stitcher& stitcher);

    // The parameter file's text for a file in `folder`: photographs below it named relative to it.
    std::string parameterText(const std::string& folder) const;
    // The paths of the photographs, in order.
    std::vector<std::string> photographs() const;

private:
    std::vector<CameraRecord> records_;
    std::vector<int32_t> component_;
    bool matrices_ = false;
    OutputMapping mapping_;  // how the panorama's pixels map to directions
};

}  // namespace vantorra
