#pragma once
// The crop to the covered rectangle: the largest axis-aligned rectangle of the plane every
// point of which some photograph sees, so that no corner of the panorama is left empty.

#include <vector>

#include "render/footprint.h"
#include "render/projection.h"
#include "render/render_context.h"

namespace vantorra {

// The largest covered rectangle within `crop`, found on a grid of about cols x rows points over
// it (at most kMaxInsideGrid a side): a cell of the grid counts as covered when its four corners
// are, each seen by some photograph with a footprint, and the rectangle is made of such cells.
// Empty (thetaMin > thetaMax) when no cell is covered.
inline constexpr int kMaxInsideGrid = 2048;
PlaneBounds insideCrop(const Projection& projection, const RenderScene& scene,
                       const std::vector<ImageFootprint>& footprints, const PlaneBounds& crop, int cols, int rows);

}  // namespace vantorra
