#pragma once
// Repeated photographs: a file given twice, a folder copied, a burst of a still scene. Identical
// descriptors in two images defeat the ratio test for both, so only the first copy of a view is
// matched. Views are compared by their thumbnails.

#include <vector>

#include "core/image.h"
#include "core/photograph.h"

namespace vantorra {

// Mean absolute difference, on the 0-255 scale, at or above which two thumbnails never show the
// same view: copies of a file differ by 0 and burst shots of a still scene by a few levels.
constexpr double kDuplicateDifference = 4.0;

// The thumbnail's samples summed over an 8 x 8 grid of blocks, each sum divided by the number of
// all samples. Block by block |mean a - mean b| <= mean |a - b|, so the summed difference of two
// signatures is a lower bound of the thumbnails' mean absolute difference: most pairs are told
// apart without comparing their pixels.
using Signature = std::vector<double>;
Signature signatureOf(const FloatImage& image);
double signatureDifference(const Signature& a, const Signature& b);

// How much `image` differs from itself moved by a twentieth of its width or height, the smaller
// of the two (mean absolute difference, 0-255 scale). Neighbouring views of a panorama move the
// content by a tenth of the frame or more, so they differ at least about this much.
double shiftDifference(const FloatImage& image);

// True when thumbnails a and b show the same view: they differ by less than kDuplicateDifference
// and by no more than half of what a's own content differs under a twentieth of a frame's move.
// In a soft or dark scene neighbouring views differ by only a few levels, which an absolute
// bound alone takes for a repeat.
bool sameView(const FloatImage& a, const FloatImage& b);

// An earlier kept photograph that image i repeats, or -1. Only photographs of the same full
// size and thumbnail level are compared.
int duplicateOf(int i, const std::vector<Photograph>& photographs, const std::vector<bool>& kept,
                const std::vector<Signature>& signatures);

}  // namespace vantorra
