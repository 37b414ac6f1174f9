#include "core/photograph.h"

namespace vantorra {

ImageSize featureImageSize(const Photograph& photograph) {
    return reducedSizes({photograph.size}, {photograph.featureLevel}).front();
}

std::vector<ImageSize> featureImageSizes(std::span<const Photograph> photographs) {
    std::vector<ImageSize> sizes;
    sizes.reserve(photographs.size());
    for (const Photograph& photograph : photographs) sizes.push_back(featureImageSize(photograph));
    return sizes;
}

}  // namespace vantorra
