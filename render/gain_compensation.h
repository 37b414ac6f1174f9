#pragma once
// Exposure compensation: one multiplicative gain per image and colour channel, estimated from
// the mean intensities of small reduced copies of the images where they overlap, balanced
// against a prior that keeps every gain near 1.

#include <iosfwd>

#include "options/stitch_options.h"
#include "render/footprint.h"
#include "render/render_context.h"

namespace vantorra {

// Gains per image number (images outside the component get 0), rescaled per channel so their
// mean over the component is options.gainMean. An image without any usable overlap gets exactly
// gainMean. `thumbnails` and `thumbnailLevels` (by image number) are the run's gain images:
// filled where empty, kept for the next render. An unreadable photograph is named in the log
// and overlaps nothing.
Gains computeGains(const RenderOptions& options, const RenderScene& scene, ProgressReporter& progress,
                   std::ostream& log);

}  // namespace vantorra
