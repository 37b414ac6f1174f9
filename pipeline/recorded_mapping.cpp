#include "pipeline/recorded_mapping.h"

#include <cmath>

#include "render/projection_registry.h"

namespace vantorra {
namespace {

bool sameSizeAndCrop(const RenderOptions& a, const RenderOptions& b) {
    return a.sizeMode == b.sizeMode && a.width == b.width && a.height == b.height && a.scale == b.scale &&
           a.autoCrop == b.autoCrop && a.cropInside == b.cropInside && a.thetaMin == b.thetaMin &&
           a.thetaMax == b.thetaMax && a.phiMin == b.phiMin && a.phiMax == b.phiMax;
}

bool sameOrientation(const RenderOptions& a, const RenderOptions& b) {
    return a.imageRotation == b.imageRotation && a.autoStraighten == b.autoStraighten &&
           a.orientTheta == b.orientTheta && a.orientPhi == b.orientPhi && a.orientPsi == b.orientPsi;
}

}  // namespace

RenderOptions withRecordedMapping(RenderOptions options, const OutputMapping& recorded) {
    options.mapping = OutputMapping{};
    if (!recorded.known()) return options;
    const RenderOptions defaults;
    if (options.projection == defaults.projection) options.projection = recorded.projection;
    if (options.projection == recorded.projection && sameSizeAndCrop(options, defaults) &&
        sameOrientation(options, defaults))
        options.mapping = recorded;
    return options;
}

std::string recordedProjectionProblem(const RenderOptions& options) {
    if (projections().find(options.projection) != nullptr) return {};
    return "its output mapping names no projection called '" + options.projection + "' (" + projections().names() +
           ")";
}

OutputMapping keepRecordedMapping(const OutputMapping& rendered, const OutputMapping& recorded) {
    const bool same = rendered.projection == recorded.projection && rendered.width == recorded.width &&
                      rendered.height == recorded.height &&
                      std::fabs(rendered.scale - recorded.scale) <= 1e-6 * recorded.scale &&
                      std::fabs(rendered.centreColumn - recorded.centreColumn) <= 1e-3 &&
                      std::fabs(rendered.centreRow - recorded.centreRow) <= 1e-3 &&
                      rendered.rotation.m == recorded.rotation.m;
    return same ? recorded : rendered;
}

void intoOutputFrame(std::span<Camera> cameras, std::span<const int32_t> component, const OutputMapping& mapping) {
    const Mat3 back = transposed(mapping.rotation);
    if (back.m == Mat3::identity().m) return;  // the frames are one: the cameras stay exact
    for (const int32_t k : component) {
        Camera& camera = cameras[static_cast<size_t>(k)];
        if (isRegistered(camera)) camera.R = (Mat3::fromMatrix(camera.R) * back).toMatrix();
    }
}

}  // namespace vantorra
