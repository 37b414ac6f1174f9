#pragma once
// Which photographs were taken through one lens, so that they share its distortion: the same
// full-resolution size is the rule.

#include <cstdint>
#include <vector>

#include "engine/image_size.h"

namespace vantorra {

// A lens number per image: the number of the first image of the same size. Images that could
// not be read (size 0) get their own number each.
std::vector<int32_t> lensGroups(const std::vector<ImageSize>& sizes);

}  // namespace vantorra
