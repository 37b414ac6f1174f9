#pragma once
// How much of the overall progress bar the render takes, decided before a run starts: the stages
// before the render cost about the same whatever the output size, while the render's work grows
// with the output's pixels. At the default width the render keeps its default weight.

#include <span>
#include <string>
#include <vector>

#include "core/image_size.h"
#include "options/stitch_options.h"

namespace vantorra {

// The output pixels the options are expected to give: width mode about a third of the width
// squared (a row of views), height mode three times the height squared, scale mode the scaled
// photographs' pixels less the six tenths they overlap.
double expectedOutputPixels(const RenderOptions& options, std::span<const ImageSize> photographs);

// ProgressReporter::kDefaultRenderShare times the expected output pixels over those of the
// default width, and never less than it.
int renderProgressShare(const RenderOptions& options, std::span<const ImageSize> photographs);

// The sizes in the photographs' headers (nothing decoded), for the scale mode's estimate; a
// photograph that cannot be read counts as empty. None unless the options are in scale mode.
std::vector<ImageSize> headerSizesForShare(const RenderOptions& options, const std::string& directory,
                                            const std::vector<std::string>& names);

}  // namespace vantorra
