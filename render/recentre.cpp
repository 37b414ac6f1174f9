#include "render/recentre.h"

#include <algorithm>
#include <ostream>


namespace vantorra {

Coverage coverage(const std::vector<ImageFootprint>& footprints, float theta, const PlaneWrap& wrap) {
    Coverage result{false, wrap.last, wrap.first};
    for (const ImageFootprint& footprint : footprints)
        for (const RenderRegion& region : footprint.regions)
            if (region.thetaMin <= theta && theta <= region.thetaMax) {
                result.found = true;
                result.thetaMin = std::min(result.thetaMin, region.thetaMin);
                result.thetaMax = std::max(result.thetaMax, region.thetaMax);
            }
    return result;
}

bool seamTurn(const Projection& projection, const std::vector<ImageFootprint>& footprints, Matrix& turn,
              std::ostream& log) {
    const std::optional<PlaneWrap> wrap = projection.wrap();
    if (!wrap || !coverage(footprints, wrap->first, *wrap).found) return false;
    log << "pano is split" << std::endl;
    // Each step moves strictly outward to another region's edge, so the region count bounds
    // both searches.
    size_t steps = 1;
    for (const ImageFootprint& footprint : footprints) steps += footprint.regions.size();

    // Follows overlapping regions from one end of the turn as far as they reach.
    auto reach = [&](float start, bool upwards, const char* label) {
        float t = start, cur = start;
        for (size_t s = 0; s < steps; ++s) {
            const float prev = cur;
            const Coverage c = coverage(footprints, t, *wrap);
            cur = upwards ? c.thetaMax : c.thetaMin;
            t = cur;
            log << label << cur << std::endl;
            if (!c.found || cur == prev) break;
        }
        return cur;
    };
    const float thetaMaxOverlap = reach(wrap->first, true, "thetaMaxOverlap = ");
    const float thetaMinOverlap = reach(wrap->last, false, "thetaMinOverlap = ");

    if (!(thetaMaxOverlap < thetaMinOverlap)) return false;  // the covered arcs meet
    // Half a turn past the middle of the gap.
    const float halfTurn = 0.5f * (wrap->last - wrap->first);
    const float thetaMiddle = 0.5f * thetaMaxOverlap + halfTurn + 0.5f * thetaMinOverlap;
    log << "theta middle = " << thetaMiddle << std::endl;
    turn = projection.middleTurn(thetaMiddle);
    return true;
}

}  // namespace vantorra
