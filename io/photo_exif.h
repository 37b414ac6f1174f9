#pragma once
// What the photographs' EXIF blocks give registration: a first focal length for each camera and,
// with the size, which photographs share a lens.

#include <cstdint>
#include <string>
#include <vector>

#include "core/image_size.h"
#include "options/stitch_options.h"

namespace vantorra {

struct PhotoExif {
    float focalPixels = 0.0f;  // focal length in pixels of the full-resolution upright photograph; 0 unknown
    float focal35mm = 0.0f;    // the 35-mm-equivalent focal length it came from; 0 unknown
    std::string ignored;       // what of the block was left out and why; empty when nothing was
};

// The EXIF facts of each photograph (directory + name) of a known size; a photograph that cannot
// be read, or has none, gives the defaults.
std::vector<PhotoExif> readPhotoExif(const std::string& directory, const std::vector<std::string>& names,
                                     const std::vector<ImageSize>& sizes);

// The first focal length of a camera in pixels of its feature image (the photograph reduced
// 2^level times): from EXIF when the photograph has one, else the larger side of the feature
// image (options.focalFromImage) or options.defaultFocal.
float seedFocal(const ImageSize& full, int32_t level, const PhotoExif& exif, const BundleAdjustOptions& options);

}  // namespace vantorra
