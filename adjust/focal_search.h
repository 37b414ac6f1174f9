#pragma once
// The focal length two photographs' matches fit best, before any camera is adjusted. The size
// rule seeds the focal length from the larger side of the image, which is near the truth for the
// usual fields of view and several times too short for a telephoto lens; the adjustment of the
// first pair then settles on a focal length between the two, every next camera inherits it, and
// the errors grow with every row until the global adjustment cannot recover. Rotated pinhole
// views agree exactly only at their true focal length: for each length of a ladder around the
// seed the best rotation between the two bundles of rays is fitted in closed form, and the
// length whose rotation carries the matches closest wins.

#include <array>
#include <cstdint>

#include "matching/match_table.h"
#include "numerics/mat3.h"

namespace vantorra {

// The proper rotation R that best carries unit directions a_k onto b_k (least squares), from
// their cross-covariance sum b_k a_k^T, row-major.
Mat3 rotationFromCovariance(const std::array<double, 9>& covariance);

struct FocalFit {
    float focal = 0.0f;      // the best length of the ladder, refined between its neighbours
    float rms = 0.0f;        // median transfer error there (pixels)
    float seedRms = 0.0f;    // median transfer error at the seed
};

// Searches focal lengths seed x 2^(k/4), k = -4 ... 16 (a half to sixteen times the seed), for
// the `count` matches of `points` (centred positions, both images with the same focal length).
// The error of a length is the median transfer error under the best rotation, fitted again
// without the matches further off than a fifth of the image side (the verified matches of a pair
// still hold a few strays).
// focal 0 without three matches.
FocalFit searchFocal(const MatchPoints& points, int32_t count, float seed, float imageSide);

// Within this factor of the seed the pair adjustment finds the focal length from the seed itself
// (the shared sets, between 0.87 and 1.34 times the size rule, all do), and the seed stays.
constexpr float kFarFromSeed = 1.5f;

// True when the searched length lies further than kFarFromSeed from `seed` and fits the matches
// clearly better: at most half the seed's error. Otherwise the seed is kept.
bool clearlyBetter(const FocalFit& fit, float seed);

}  // namespace vantorra
