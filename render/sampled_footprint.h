#pragma once
// The footprint of a photograph on a projection whose plane does not wrap, found from the plane
// positions of a grid of its pixels' rays. The inside is sampled as well as the border: a flat
// or azimuthal plane bends a photograph's edges, so its extremes may lie anywhere along them,
// and a point the projection cannot draw (behind a flat plane, say) may lie inside it.

#include "numerics/camera.h"
#include "render/footprint.h"
#include "render/projection.h"

namespace vantorra {

// One region holding every sampled ray's position, cut to the projection's reach (`cut` set
// when a ray lies beyond it or where the projection holds none), widened by a little for the
// border's bend between samples. No region when no ray can be drawn.
ImageFootprint sampledFootprint(const Projection& projection, const Camera& camera, int rows, int cols);

// The position of direction d on `projection`, moved onto its reach when beyond it; false where
// the projection holds none. `beyond` is set when the position was moved.
bool reachedPosition(const Projection& projection, const Direction& d, PlanePoint& p, bool& beyond);

}  // namespace vantorra
