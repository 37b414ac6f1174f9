#pragma once
// Which of the paths named on the command line are stitched, following the Open command: image
// names must contain ".jpg" or ".JPG", an earlier "pano.jpg" is never stitched again, and one
// argument naming a parameter file (".txt", ".TXT", ".ast", ".AST") re-renders it.

#include <string>
#include <vector>

namespace vantorra {

struct InputSelection {
    enum Kind { Images, ParameterFile, Rejected };
    Kind kind = Rejected;
    std::vector<std::string> paths;    // the images in the order given, or the one parameter file
    std::vector<std::string> skipped;  // arguments left out by their names
    int exitCode = 0;                  // for Rejected: a CliExitCode
    std::string message;               // for Rejected: the one-line reason
};

bool isJpegName(const std::string& path);           // contains ".jpg" or ".JPG"
bool isParameterFileName(const std::string& path);  // contains ".txt", ".TXT", ".ast" or ".AST"
bool isEarlierPanorama(const std::string& path);    // the file name is "pano.jpg"

// Filters by name; a parameter file that cannot be opened is rejected with "File does not exist".
InputSelection selectInputs(const std::vector<std::string>& arguments);

// Reads the header of every image so an unreadable one stops the command before any work;
// returns an empty string when all can be read, else a line naming the first bad file.
std::string firstUnreadableImage(const std::vector<std::string>& paths);

}  // namespace vantorra
