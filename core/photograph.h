#pragma once
// What a run knows of one photograph besides its camera: where it is, its size, and the reduced
// copies the feature stage keeps for registration, refinement and gain compensation.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/image.h"
#include "core/image_size.h"

namespace vantorra {

struct Photograph {
    Photograph() = default;
    Photograph(std::string photographName, ImageSize photographSize = {})
        : name(std::move(photographName)), size(photographSize) {}

    std::string name;           // as given; the run's directory goes in front of it
    ImageSize size;             // full resolution, upright; 0 x 0 when it could not be read
    FloatImage featureImage;    // the photograph shrunk by 2^featureLevel, kept when the budget allows
    int32_t featureLevel = 0;
    FloatImage thumbnail;       // reduced further, for gain compensation
    int32_t thumbnailLevel = 0;
    std::string leftOut;        // why it was left out of matching ("PATH: reason"), or empty
};

// The size of its feature image: the full size divided by 2^featureLevel, truncated (also when
// the feature image itself was not kept).
ImageSize featureImageSize(const Photograph& photograph);
std::vector<ImageSize> featureImageSizes(std::span<const Photograph> photographs);

}  // namespace vantorra
