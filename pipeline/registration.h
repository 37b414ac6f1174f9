#pragma once
// The steps of registration that sit between matching and bundle adjustment: re-centring the
// matches, the image transforms, and the greedy order in which cameras are added.

#include <cstdint>
#include <vector>

#include "core/image_size.h"
#include "matching/match_table.h"
#include "numerics/camera.h"
#include "numerics/matrix.h"

namespace vantorra {

// [[1, 0, (rows - 1) / 2], [0, 1, (cols - 1) / 2], [0, 0, 1]] scaled to full resolution by
// [[s, 0, (s - 1) / 2], [0, s, (s - 1) / 2], [0, 0, 1]] with s = 2^level: a position from the
// centre of the feature image to a pixel of the photograph, pixel centres corresponding.
Matrix featureToPhotoTransform(const ImageSize& reduced, int32_t level);

// Moves every match position from the top-left pixel to the centre of its feature image.
void centreMatches(MatchTable& matches, const std::vector<ImageSize>& reduced);

struct CameraPair {
    int32_t registered = -1;  // for the first camera: the image that becomes camera 0
    int32_t next = -1;
    int32_t count = 0;
};

// The ordered pair (a, b) of component images with the largest count(a, b); the pair met first
// (a outer, b inner, component order) wins ties.
CameraPair chooseFirstPair(const MatchTable& matches, const std::vector<int32_t>& component);

// Among registered r (outer) and unregistered u (inner), the pair with the largest
// max(count(r, u), count(u, r)); the pair met first wins ties. count 0 when nothing connects.
CameraPair chooseNextPair(const MatchTable& matches, const std::vector<int32_t>& component,
                          const std::vector<bool>& registered);

}  // namespace vantorra
