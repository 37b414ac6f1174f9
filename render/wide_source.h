#pragma once
// The source of a photograph of more than 8 bits for a 16-bit panorama: decoded into float
// samples (0..255 as every source, with the fractions the extra bits give), so the tones the
// file holds reach the blend. Four bytes a sample where an 8-bit source holds one; the plan counts them.

#include <string>

#include "core/image.h"
#include "render/source_cover.h"

namespace vantorra {

// Decodes the reduced source rows firstRow .. firstRow + rowCount - 1 (all with rowCount < 0) of
// the photograph at `path`: scaled by the decoder (1, 2, 4 or 8), then halved `extraHalvings`
// times and blurred by `sigma`. False, with the reason, when the photograph cannot be read.
// A photograph with alpha fills `cover` as well, reduced alike.
bool decodeWideSource(const std::string& path, int decoderScale, int extraHalvings, float sigma, FloatImage& out,
                      SourceCover& cover, std::string& error, int firstRow = 0, int rowCount = -1);

}  // namespace vantorra
