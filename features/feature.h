#pragma once
// The records of the feature library. The library is procedural on purpose: plain records,
// free functions, module-level tables and numbered arena pools released wholesale. Nothing in
// it is reentrant; the matching stage calls it once per image from a single thread.

#include <cstdint>

namespace vantorra {

// One keypoint with its 36-byte descriptor, allocated from arena pool 4.
// Positions are in pixels of the image's feature image: row 0 is the centre of the top row of
// pixels, growing downward; column 0 the centre of the leftmost column.
struct Feature {
    double row;
    double col;
    double scale;        // sigma in feature-image pixels
    double orientation;  // radians in [-pi, pi): 0 toward growing column, +pi/2 toward the top
    uint8_t* descriptor; // 36 bytes: (gridRow * 3 + gridCol) * 4 + orientationBin
    Feature* next;       // next feature of the same list
    Feature* treeLink;   // link used while the k-d tree is built
    double distance;     // squared descriptor distance to the feature being searched for
    int32_t image;       // image number, set by the matching stage
    Feature** neighbours;  // nearest neighbours, nearest first (pool 4)
    int32_t matchCount;    // leading neighbours accepted as matches
    double contrast;       // interpolated difference-of-Gaussian value of the keypoint
};

constexpr int kDescriptorLength = 36;

}  // namespace vantorra
