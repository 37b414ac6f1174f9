#pragma once
// Which cameras a render leaves behind. A render orients the cameras it starts from and may turn
// them onto the seam; for cameras read from a parameter file, which were oriented when the file
// was written, that gives the same cameras again up to the rounding of floats. A camera that
// differs from where the render started by no more than the file's six significant digits can
// show is kept exactly as it was, so a re-render of an unchanged file records the same cameras
// and the file does not drift from one render to the next.

#include <span>
#include <vector>

#include "numerics/camera.h"

namespace vantorra {

// True when `a` and `b` hold the same focal length, pixel matrix, lens and rotation to within the
// parameter file's precision (rotation entries within 4e-6, the rest within six significant
// digits).
bool sameWithinFilePrecision(const Camera& a, const Camera& b);

// `rendered`, with every camera that is the same as `before` within the file's precision (at the
// same position) replaced by the one in `before`.
std::vector<Camera> keepUnmoved(std::vector<Camera> rendered, std::span<const Camera> before);

}  // namespace vantorra
