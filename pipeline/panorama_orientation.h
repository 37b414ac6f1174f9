#pragma once
// Turning the whole panorama before it is rendered. Bundle adjustment fixes the cameras only up
// to one shared rotation; these steps choose it so the panorama is upright and centred on the
// reference image (the smallest image number of the component), then add the user's image
// rotation and manual angles. Each returns the cameras it was given with only the rotations R of
// the registered cameras listed in `component` changed.

#include <cstdint>
#include <vector>

#include "options/stitch_options.h"
#include "numerics/camera.h"

namespace vantorra {

// The turn that options.imageRotation asks for: none 0, clockwise -pi/2, anticlockwise +pi/2,
// upside down pi (single-precision values).
float imageRotationAngle(ImageRotation imageRotation);

// Without straightening: post-multiplies every listed camera by R_ref^T (times Rz(angle) for an
// image rotation), so the reference camera ends as the identity, or Rz(angle).
[[nodiscard]] std::vector<Camera> levelToReference(std::vector<Camera> cameras,
                                                   const std::vector<int32_t>& component,
                                                   const RenderOptions& options);

// Finds the world's downward direction as the direction most nearly perpendicular to every
// camera's horizontal image axis (sign chosen by a strict majority of the cameras), turns it
// onto the first world axis, then turns about that axis so the reference image looks along a
// direction with no second component. Every camera is changed by post-multiplication only.
[[nodiscard]] std::vector<Camera> straighten(std::vector<Camera> cameras,
                                             const std::vector<int32_t>& component,
                                             const RenderOptions& options);

// Post-multiplies the listed cameras by Rx(orientTheta), then Ry(orientPhi), then Rz(orientPsi),
// skipping each angle that is exactly 0.
[[nodiscard]] std::vector<Camera> applyManualAngles(std::vector<Camera> cameras,
                                                    const std::vector<int32_t>& component,
                                                    const RenderOptions& options);

// What every render does first: straighten (or level to the reference when straightening is
// off), then the manual angles.
[[nodiscard]] std::vector<Camera> orientCameras(std::vector<Camera> cameras,
                                                const std::vector<int32_t>& component,
                                                const RenderOptions& options);

}  // namespace vantorra
