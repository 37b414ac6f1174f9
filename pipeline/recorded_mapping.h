#pragma once
// A parameter file's output mapping, drawn again: the render of a file uses the projection, size,
// scale and centre it records unless an option asks for another projection, size, crop or
// orientation (one that holds anything but its default), and its cameras are taken into the
// mapping's output frame.

#include <cstdint>
#include <span>
#include <string>

#include "core/output_mapping.h"
#include "numerics/camera.h"
#include "options/stitch_options.h"

namespace vantorra {

// `options` with the recorded mapping to draw, or as given when an option overrides it (the
// projection alone may still come from the file, when the options leave it at its default).
RenderOptions withRecordedMapping(RenderOptions options, const OutputMapping& recorded);

// Why a file's render cannot be drawn in the projection `options` (from withRecordedMapping)
// name, one a file may record that this build does not know; empty when it can.
std::string recordedProjectionProblem(const RenderOptions& options);

// `rendered`, or `recorded` when the two differ by no more than rounding (the scale by a
// millionth of itself, the centre by a thousandth of a pixel): a file rendered again with options
// of its own records the same mapping, as its cameras do (pipeline/kept_cameras.h).
OutputMapping keepRecordedMapping(const OutputMapping& rendered, const OutputMapping& recorded);

// The cameras listed in `component` turned into the mapping's output frame (R O^T), so that
// their frame is the output's.
void intoOutputFrame(std::span<Camera> cameras, std::span<const int32_t> component, const OutputMapping& mapping);

}  // namespace vantorra
