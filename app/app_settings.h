#pragma once
// What the application remembers between starts, kept with QSettings: the folder photographs
// were last opened from and the options as last accepted in the Options dialog.

#include <string>

#include "options/stitch_options.h"

class QSettings;

namespace vantorra {

void saveLastFolder(QSettings& settings, const std::string& folder);
// The remembered folder when it still exists, else an empty text.
std::string loadLastFolder(const QSettings& settings);

void saveOptions(QSettings& settings, const StitchOptions& options);
// Applies the remembered options; false (options unchanged) when there are none or they fail
// the Options dialog's checks.
bool loadOptions(const QSettings& settings, StitchOptions& options);

}  // namespace vantorra
