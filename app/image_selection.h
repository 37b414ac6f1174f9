#pragma once
// Which of the files chosen in File::Open are stitched, and in what order.

#include <string>
#include <vector>

namespace vantorra {

// The name after the last '/' (the whole path when there is none).
std::string fileNamePart(const std::string& path);
bool canOpenForReading(const std::string& path);

// An image set as the file dialog returns it: the dialog hands back the last file of its
// name-sorted selection first, so the list is rotated left by one to restore name order. Kept, in
// that order: names containing ".jpg" or ".JPG" that can be read, except an earlier "pano.jpg".
std::vector<std::string> keptImages(std::vector<std::string> chosen);

// A single chosen file is a parameter file when its name contains ".ast", ".AST", ".txt" or ".TXT".
bool isParameterFileName(const std::string& path);

// The order in which the desktop's file dialog returns a multiple selection: sorted by name, the
// last one first and then the others. The Qt file chooser reproduces it, so keptImages restores
// name order whatever the order of clicks.
std::vector<std::string> dialogReturnOrder(std::vector<std::string> selected);

}  // namespace vantorra
