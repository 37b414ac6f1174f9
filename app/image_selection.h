#pragma once
// Which of the files chosen in File::Open are stitched, and in what order. What counts as a
// photograph or a parameter file is the engine's rule (engine/photo_selection.h), shared with
// the command-line tool.

#include <string>
#include <vector>

#include "io/photo_selection.h"

namespace vantorra {

bool canOpenForReading(const std::string& path);

// An image set as the file dialog returns it: the dialog hands back the last file of its
// name-sorted selection first, so the list is rotated left by one to restore name order. Kept, in
// that order: the photographs that can be read, except the panorama about to be written
// (`outputPath`).
std::vector<std::string> keptImages(std::vector<std::string> chosen, const std::string& outputPath);

// The order in which the desktop's file dialog returns a multiple selection: sorted by name, the
// last one first and then the others. The Qt file chooser reproduces it, so keptImages restores
// name order whatever the order of clicks.
std::vector<std::string> dialogReturnOrder(std::vector<std::string> selected);

}  // namespace vantorra
