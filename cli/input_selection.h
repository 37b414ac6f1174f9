#pragma once
// Which of the paths named on the command line are stitched, following the Open command and the
// engine's one rule for names (io/photo_selection.h): photographs end in .jpg, .jpeg or .jpe,
// the panorama about to be written is never stitched into itself, and one argument naming a
// parameter file (".txt", ".TXT", ".ast", ".AST") re-renders it.

#include <string>
#include <vector>

#include "io/photo_selection.h"

namespace vantorra {

struct InputSelection {
    enum Kind { Images, ParameterFile, Rejected };
    Kind kind = Rejected;
    std::vector<std::string> paths;    // the images in the order given, or the one parameter file
    std::vector<SkippedFile> skipped;  // arguments left out by their names, with the reason
    int exitCode = 0;                  // for Rejected: a CliExitCode
    std::string message;               // for Rejected: the one-line reason
};

// Filters by name, leaving out `outputPanorama` (the pano.jpg this run writes); a parameter file
// that does not exist is rejected with "File does not exist", one that is not a regular file or
// cannot be read with the reason. A photograph whose name the parameter file cannot record (a
// line break in it) rejects the command as a usage error.
InputSelection selectInputs(const std::vector<std::string>& arguments, const std::string& outputPanorama);

}  // namespace vantorra
