#pragma once
// Re-centring a panorama that runs across the edge of a wrapping projection: when the
// photographs leave a gap in the first plane coordinate away from the edge, the world is turned
// so that the gap lies on the edge and the panorama is drawn in one piece.

#include <iosfwd>
#include <vector>

#include "numerics/matrix.h"
#include "render/footprint.h"
#include "render/projection.h"

namespace vantorra {

struct Coverage {
    bool found = false;  // some region spans theta
    float thetaMin = 0;  // smallest thetaMin of those regions (the wrap's last when none)
    float thetaMax = 0;  // largest thetaMax of those regions (the wrap's first when none)
};
// The regions of all footprints with thetaMin <= theta <= thetaMax; `wrap` starts the search.
Coverage coverage(const std::vector<ImageFootprint>& footprints, float theta, const PlaneWrap& wrap);

// The turn of the world that moves an uncovered gap of the first plane coordinate onto the
// projection's wrap edge, when it wraps, the panorama is split across that edge and there is
// such a gap. Logs the search. Returns whether a turn is needed; `turn` receives it.
bool seamTurn(const Projection& projection, const std::vector<ImageFootprint>& footprints, Matrix& turn,
              std::ostream& log);

}  // namespace vantorra
