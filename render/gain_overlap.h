#pragma once
// The measurements behind gain compensation: each image's small gain image, and the mean
// intensities of one image inside the box where another image lands on it.

#include <array>
#include <string>

#include "core/image.h"
#include "numerics/camera.h"
#include "render/render_context.h"

namespace vantorra {

// Where image j lands in image i's gain image: the pixel count of the box and image i's mean
// per channel over it. count 0 means no usable overlap.
struct GainOverlap {
    float count = 0;
    std::array<float, 3> mean{};
};

// Makes `thumbnail` (with its reduction `level`) the gain image of `image` (both sides below
// 2 * gainImageSize, or one of them), from the kept feature image or else the photograph; a
// thumbnail already filled is only reduced further. Returns false, leaving it empty, when the
// photograph cannot be read (reason in `error`).
bool prepareGainImage(const PhotoSources& sources, int image, int gainImageSize,
                      FloatImage& thumbnail, int32_t& level, std::string* error);

// Image i's means over the bounding box of image j's gain image projected into image i's. No
// overlap when a corner falls behind camera i, when the box is less than two pixels thick in
// either direction or when either gain image is empty.
GainOverlap measureOverlap(const FloatImage& imageI, int levelI, const Camera& cameraI,
                           const FloatImage& imageJ, int levelJ, const Camera& cameraJ);

}  // namespace vantorra
