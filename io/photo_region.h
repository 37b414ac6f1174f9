#pragma once
// A rectangle of a photograph or panorama file (JPEG, PNG, TIFF or HEIF), decoded without the
// rest of the image: no row below it is decoded, and only its columns of the rows it spans are
// kept. For showing a part
// of a panorama far larger than memory at one file pixel per screen pixel.

#include <string>

#include "core/image.h"

namespace vantorra {

// Decodes the part of the upright image at `path` that lies within width x height pixels from
// (left, top) into `region` (3 channels; the rectangle cut at the image's edges). False, with
// the reader's reason, when the file cannot be decoded or the rectangle misses the image.
bool readPhotoRegion(const std::string& path, int left, int top, int width, int height, Image& region,
                    std::string* error = nullptr);

}  // namespace vantorra
