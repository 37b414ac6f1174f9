#include "core/image_size.h"

#include <cmath>

namespace vantorra {

std::vector<ImageSize> reducedSizes(const std::vector<ImageSize>& imageSizes,
                                    const std::vector<int32_t>& featureLevels) {
    std::vector<ImageSize> reduced(imageSizes.size());
    for (size_t i = 0; i < imageSizes.size(); ++i) {
        const float factor = std::pow(2.0f, static_cast<float>(featureLevels[i]));
        reduced[i].height = static_cast<int32_t>(static_cast<float>(imageSizes[i].height) / factor);
        reduced[i].width = static_cast<int32_t>(static_cast<float>(imageSizes[i].width) / factor);
        reduced[i].channels = imageSizes[i].channels;
    }
    return reduced;
}

}  // namespace vantorra
