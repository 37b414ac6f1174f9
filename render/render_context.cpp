#include "render/render_context.h"

namespace vantorra {

std::string PhotoSources::path(int image) const {
    const size_t i = static_cast<size_t>(image);
    return directory + (image >= 0 && i < names.size() ? names[i] : std::string());
}

const FloatImage* PhotoSources::featureImage(int image) const {
    const size_t i = static_cast<size_t>(image);
    if (image < 0 || i >= featureImages.size() || featureImages[i].rows <= 0) return nullptr;
    return &featureImages[i];
}

int PhotoSources::featureLevel(int image) const {
    const size_t i = static_cast<size_t>(image);
    return image >= 0 && i < featureLevels.size() ? featureLevels[i] : 0;
}

bool PhotoSources::drawable(int image, std::span<const Camera> cameras) const {
    const size_t i = static_cast<size_t>(image);
    if (image < 0 || i >= cameras.size() || i >= sizes.size()) return false;
    return isRegistered(cameras[i]) && sizes[i].height > 0 && sizes[i].width > 0;
}

}  // namespace vantorra
