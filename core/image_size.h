#pragma once
// The size of one input photograph, as every stage sees it.

#include <cstdint>
#include <vector>

namespace vantorra {

struct ImageSize {
    int32_t height = 0;  // rows
    int32_t width = 0;   // columns
    int32_t channels = 0;
};

// Sizes of the feature images: full size divided by 2^level, truncated.
std::vector<ImageSize> reducedSizes(const std::vector<ImageSize>& imageSizes,
                                    const std::vector<int32_t>& featureLevels);

}  // namespace vantorra
