#pragma once
// Which of the paths chosen in File::Open (or dropped, or named at start) are stitched, in what
// order, where the outputs go, and why each of the others is left out. What counts as a
// photograph or a parameter file is the engine's rule (io/photo_selection.h), shared with the
// command-line tool.

#include <string>
#include <vector>

#include "io/photo_selection.h"

namespace vantorra {

struct ImageChoice {
    std::vector<std::string> photographs;  // to stitch, in name order
    std::vector<SkippedFile> leftOut;      // chosen but not stitched, each with its reason
    std::string folder;                    // where pano.jpg and pano.txt go
};

// An image set as the file dialog returns it (absolute paths): the dialog hands back the last file
// of its name-sorted selection first, so the list is rotated left by one to restore name order.
// A folder stands for the photographs in it, by name. Kept: the photographs that exist and can be
// read; left out with the reason: missing or unreadable paths, files that are not photographs by
// their names, folders without photographs and the panorama about to be written. The outputs go
// to the folder of the first photograph kept (one not itself named pano.jpg when there is one).
ImageChoice chooseImages(std::vector<std::string> chosen);

// Why `path` cannot be opened as an input: empty when it can, else "not a regular file" or the
// system's reason ("No such file or directory").
std::string inputProblem(const std::string& path);

// The order in which the desktop's file dialog returns a multiple selection: sorted by name, the
// last one first and then the others. The Qt file chooser reproduces it, so chooseImages restores
// name order whatever the order of clicks.
std::vector<std::string> dialogReturnOrder(std::vector<std::string> selected);

}  // namespace vantorra
