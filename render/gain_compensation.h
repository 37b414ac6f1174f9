#pragma once
// Exposure compensation: one multiplicative gain per image and colour channel, estimated from
// the mean intensities of small reduced copies of the images where they overlap, balanced
// against a prior that keeps every gain near 1.

#include "engine/stitch_options.h"
#include "render/footprint.h"

namespace vantorra {

class Stitcher;

// Gains per image number (images outside the component get 0), rescaled per channel so their
// mean over the component is options.gainMean. Fills and keeps empty stitcher.thumbnails.
// An image without any usable overlap gets exactly gainMean.
Gains computeGains(Stitcher& stitcher, const RenderOptions& options);

}  // namespace vantorra
