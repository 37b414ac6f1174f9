#pragma once
// The options as remembered between starts: every option of the option table as one text under
// its own key, read back through the same checks as a typed value, so a damaged entry is refused
// whole. An option the record does not hold (one added since it was written) keeps its value.
// Options of one panorama alone (its crop, its orientation) are not kept.

#include <map>
#include <string>

#include "options/stitch_options.h"

namespace vantorra {

using StoredValues = std::map<std::string, std::string>;

// The options (angles in degrees, choices by name) under keys such as "render/width".
StoredValues storeOptions(const StitchOptions& options);

// Reads back what storeOptions wrote (or an earlier version, which kept choices by their button
// number) into `options`; false, with `options` unchanged, when a value fails the checks.
bool restoreOptions(const StoredValues& stored, StitchOptions& options);

}  // namespace vantorra
