#include "render/projection.h"

#include <algorithm>
#include <cmath>

namespace vantorra {

PlaneBounds Projection::bounds(const std::vector<ImageFootprint>& footprints) const {
    PlaneBounds b{INFINITY, -INFINITY, INFINITY, -INFINITY};
    for (const ImageFootprint& footprint : footprints)
        for (const RenderRegion& region : footprint.regions) {
            b.thetaMin = std::min(b.thetaMin, region.thetaMin);
            b.thetaMax = std::max(b.thetaMax, region.thetaMax);
            b.phiMin = std::min(b.phiMin, region.phiMin);
            b.phiMax = std::max(b.phiMax, region.phiMax);
        }
    return b;
}

}  // namespace vantorra
