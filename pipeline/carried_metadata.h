#pragma once
// The metadata a run's panorama carries: that of its photographs (io/photo_metadata.h) and, for
// an equirectangular panorama, where it sits in the full sphere, from the render's plan.

#include <optional>

#include "io/photo_metadata.h"
#include "render/render_plan.h"

namespace vantorra {

// Where the planned panorama sits in the full sphere; nothing unless it is equirectangular.
std::optional<SpherePlacement> spherePlacement(const RenderPlan& plan, const RenderOptions& options);

// The metadata of the planned panorama of `scene`: the first photograph of its component gives
// the profile and camera fields.
CarriedMetadata carriedMetadata(const RenderPlan& plan, const RenderScene& scene, const RenderOptions& options);

}  // namespace vantorra
