#pragma once
// Which photographs were taken through one lens, so that they share its distortion: the same
// full-resolution size is the rule, and where EXIF gives focal lengths, the same focal length too
// (a zoom lens bends differently at each).

#include <cstdint>
#include <vector>

#include "core/image_size.h"

namespace vantorra {

// A lens number per image: the number of the first image of the same size. Images that could
// not be read (size 0) get their own number each.
// `focal35mm` (per image, 0 unknown) may be empty; two photographs whose focal lengths are both
// known must agree within half a millimetre.
std::vector<int32_t> lensGroups(const std::vector<ImageSize>& sizes, const std::vector<float>& focal35mm = {});

}  // namespace vantorra
