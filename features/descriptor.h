#pragma once
// The 36-value keypoint descriptor: a 3 x 3 grid of 4-bin gradient orientation histograms in the
// keypoint's rotated frame, normalised and stored as bytes.

#include <cstdint>

#include "features/gradients.h"
#include "features/keypoint.h"

namespace vantorra {

// The 36 weighted sums, index (gridRow * 3 + gridCol) * 4 + orientationBin, sampled from the
// level's gradient images at odd positions inside 1..rows-3, 1..cols-3 around the keypoint.
void descriptorSums(const GradientImages& gradients,
                    const RefinedKeypoint& keypoint, float theta, float (&sums)[36]);
// Unit length, values above 0.2 clipped, unit length again, byte = min(255, (int)(512 value)).
// All-zero sums give all-zero bytes.
void normaliseDescriptor(const float (&sums)[36], uint8_t* bytes);

}  // namespace vantorra
