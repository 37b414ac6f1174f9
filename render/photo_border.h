#pragma once
// The rays that bound a photograph in the world: what every projection's footprint is found from.

#include <array>
#include <vector>

#include "numerics/camera.h"
#include "numerics/mat3.h"

namespace vantorra {

// The unit rays of a camera's photograph of rows x cols pixels through the points that bound it:
// the corners (0, 0), (rows - 1, 0), (0, cols - 1), (rows - 1, cols - 1), then the middles of the
// left, right, top and bottom edges. Through a bent lens the border is no great circle and its
// extremes can lie anywhere along an edge, so `edges` adds points spread along every edge (for
// k = 1 .. kEdgeSamples - 1: left, right, top, bottom at k / kEdgeSamples); it is empty for an
// unbent lens.
struct BorderRays {
    static constexpr int kEdgeSamples = 32;
    std::array<Vec3, 8> points;
    std::vector<Vec3> edges;
};
BorderRays borderRays(const Camera& camera, int rows, int cols);

}  // namespace vantorra
