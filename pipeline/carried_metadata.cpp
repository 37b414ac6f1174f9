#include "pipeline/carried_metadata.h"

#include <algorithm>
#include <cmath>

#include "numerics/angles.h"

namespace vantorra {

std::optional<SpherePlacement> spherePlacement(const RenderPlan& plan, const RenderOptions&) {
    const OutputMapping& mapping = plan.result.mapping;
    if (!plan.drawable() || mapping.projection != "equirectangular" || !(mapping.scale > 0)) return std::nullopt;
    // The full sphere is twice as wide as high (viewers expect it so) and pi S high; its pixel
    // centres sit half a pixel in from its edges, and the image's column c looks at longitude
    // (c - centreColumn) / S. A full turn's image is 2 pi S wide, which twice the rounded
    // height can miss by a pixel: the sphere then takes the image's width.
    const double S = mapping.scale;
    SpherePlacement sphere;
    sphere.fullHeight = std::llround(kPi * S);
    sphere.fullWidth = std::max<int64_t>(2 * sphere.fullHeight, mapping.width);
    const int64_t left = std::llround(kPi * S - mapping.centreColumn - 0.5);
    const int64_t top = std::llround(kHalfPi * S - mapping.centreRow - 0.5);
    sphere.left = std::clamp<int64_t>(left, 0, sphere.fullWidth - mapping.width);
    sphere.top = std::clamp<int64_t>(top, 0, std::max<int64_t>(0, sphere.fullHeight - mapping.height));
    return sphere;
}

CarriedMetadata carriedMetadata(const RenderPlan& plan, const RenderScene& scene, const RenderOptions& options) {
    std::vector<std::string> photographs;
    for (const int32_t image : scene.component) photographs.push_back(scene.sources.path(image));
    return carryMetadata(photographs, plan.result.width, plan.result.height, spherePlacement(plan, options));
}

}  // namespace vantorra
