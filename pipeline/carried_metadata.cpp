#include "pipeline/carried_metadata.h"

#include <cmath>

#include "numerics/angles.h"

namespace vantorra {

std::optional<SpherePlacement> spherePlacement(const RenderPlan& plan, const RenderOptions& options) {
    if (options.projection != "equirectangular" || !plan.drawable() || !(plan.grid.dTheta > 0)) return std::nullopt;
    // Pixels per radian; pixel centres of the full sphere sit half a pixel in from its edges.
    const double scale = 1.0 / plan.grid.dTheta;
    SpherePlacement sphere;
    sphere.fullWidth = std::llround(2 * kPi * scale);
    sphere.fullHeight = std::llround(kPi * scale);
    sphere.left = std::llround((plan.grid.thetaMin + kPi) * scale - 0.5);
    sphere.top = std::llround((kHalfPi - plan.grid.phiMax) * scale - 0.5);
    return sphere;
}

CarriedMetadata carriedMetadata(const RenderPlan& plan, const RenderScene& scene, const RenderOptions& options) {
    std::vector<std::string> photographs;
    for (const int32_t image : scene.component) photographs.push_back(scene.sources.path(image));
    return carryMetadata(photographs, plan.result.width, plan.result.height, spherePlacement(plan, options));
}

}  // namespace vantorra
