#include "render/render_context.h"

namespace vantorra {

std::string PhotoSources::path(int image) const {
    const size_t i = static_cast<size_t>(image);
    return directory + (image >= 0 && i < photographs.size() ? photographs[i].name : std::string());
}

ImageSize PhotoSources::size(int image) const {
    const size_t i = static_cast<size_t>(image);
    return image >= 0 && i < photographs.size() ? photographs[i].size : ImageSize{};
}

const FloatImage* PhotoSources::featureImage(int image) const {
    const size_t i = static_cast<size_t>(image);
    if (image < 0 || i >= photographs.size() || photographs[i].featureImage.rows <= 0) return nullptr;
    return &photographs[i].featureImage;
}

int PhotoSources::featureLevel(int image) const {
    const size_t i = static_cast<size_t>(image);
    return image >= 0 && i < photographs.size() ? photographs[i].featureLevel : 0;
}

bool PhotoSources::drawable(int image, std::span<const Camera> cameras) const {
    const size_t i = static_cast<size_t>(image);
    if (image < 0 || i >= cameras.size() || i >= photographs.size()) return false;
    const ImageSize& size = photographs[i].size;
    return isRegistered(cameras[i]) && size.height > 0 && size.width > 0;
}

}  // namespace vantorra
