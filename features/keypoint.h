#pragma once
// A refined scale-space extremum as the detector hands it to the orientation and descriptor step.

namespace vantorra {

// Positions and sigma are in pixels of the keypoint's pyramid level; `factor` converts level
// pixels to feature-image pixels (1.5^level, halved when the image was doubled).
struct RefinedKeypoint {
    double row = 0.0;
    double col = 0.0;
    float sigma = 0.0f;
    float factor = 1.0f;
    float contrast = 0.0f;  // the interpolated difference-of-Gaussian value
};

}  // namespace vantorra
