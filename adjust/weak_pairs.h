#pragma once
// The last links of a panorama. Re-selection keeps a pair's matches within a few deviations of
// the panorama's error scale and drops a pair whose kept matches no longer pass the verification's
// acceptance rule. A pair of few or soft matches can fail that rule although its matches agree
// with the solved cameras, and dropping it would drop the images that hang on it, and the images
// behind those. So a failed pair that is the only way left to hold an image is kept as a weak
// pair, with the matches within three of its own deviations (at most three times the
// panorama's threshold), when more of them agree with the
// cameras than the least any pair is accepted with (alpha). An image whose failed pairs each keep
// fewer is still held when they do together, under the rule that placed it when the cameras
// were verified (more than alpha plus beta times their matches). Pairs keeping fewer are
// evidence that the image disagrees with the rest, and it is left out with its best pair named.

#include <cstdint>
#include <string>
#include <vector>

#include "options/stitch_options.h"

namespace vantorra {

// The deviation of a two-dimensional Gaussian position error estimated from the quarter of the
// smallest lengths: a pair whose matches are half shifted still shows the scale of its genuine
// ones. 0 without errors.
float lowerQuartileSigma(std::vector<float> lengths);

// One ordered pair as re-selection measured it.
struct MeasuredPair {
    int32_t first = 0;
    int32_t second = 0;
    bool accepted = false;           // passed the acceptance rule at the panorama's threshold
    const std::vector<float>* errors = nullptr;  // every match's transfer error
    float tightThreshold = 0.0f;
    bool restored = false;  // measured on its verified matches, not on what it holds now
};

// What the last-link rule decided.
struct WeakPairs {
    std::vector<uint8_t> weak;             // per measured pair: kept as a last link
    std::vector<float> threshold;          // per measured pair: its loose threshold
    std::vector<int32_t> kept;             // per measured pair: matches within it
    std::vector<int32_t> component;        // the images held, ascending
    std::vector<int32_t> leftOut;          // the images of `component` not held, ascending
    std::vector<std::string> leftOutWhy;   // why, one per left-out image
};

// How much more scattered than the panorama's a weak pair's matches may be: soft or low-contrast
// photographs place their features a few times less precisely, while a cluster of matches on
// another point than the genuine one lies pixels away.
constexpr float kWeakWidening = 3.0f;

// The number of errors below `threshold`.
int32_t countBelow(const std::vector<float>& errors, float threshold);

// The threshold a weak pair keeps its matches within: three lower-quartile deviations of its
// own errors, never below the panorama's threshold for it, nor above kWeakWidening times that or
// the verification's inlier threshold (no match further off was ever a verified inlier).
float weakThreshold(const std::vector<float>& errors, float tightThreshold, const RansacOptions& acceptance);

// True when a failed pair with these errors keeps enough matches within its weak threshold to be
// a last link (more than alpha).
bool holdsAsLastLink(const std::vector<float>& errors, float tightThreshold, const RansacOptions& acceptance);

// Starts from the largest piece the accepted pairs join (ties: the piece of the lowest image
// number) and adds, one at a time, the failed pair with the most matches within its weak
// threshold among those that join an image outside the piece to it, while such a pair keeps more
// than alpha matches (when none does, the image whose failed pairs into the piece together pass
// the acceptance rule, the one keeping most); a pair that holds matches now goes before one
// restored from its verified matches, so that the link that held an image keeps it rather than
// two links taking turns.
// An image that no accepted pair holds then keeps every failed pair of it that holds more than
// alpha matches within its weak threshold now. `component` is ascending.
WeakPairs holdWithWeakPairs(const std::vector<MeasuredPair>& pairs, const std::vector<int32_t>& component,
                            const RansacOptions& acceptance);

}  // namespace vantorra
