#pragma once
// The options as remembered between starts: every field of the Options dialog as one text under
// its own key, written and read back through the dialog's own exchange, so a remembered value
// passes the same checks as a typed one and a damaged or outdated entry is refused whole.

#include <map>
#include <string>

#include "options/stitch_options.h"

namespace vantorra {

using StoredValues = std::map<std::string, std::string>;

// The dialog's fields of `options` (angles in degrees) under keys such as "render/width".
StoredValues storeOptions(const StitchOptions& options);

// Reads back what storeOptions wrote into `options`; false, with `options` unchanged, when a key
// is missing or a value fails the dialog's checks.
bool restoreOptions(const StoredValues& stored, StitchOptions& options);

}  // namespace vantorra
