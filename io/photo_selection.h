#pragma once
// Which named files both front ends take as photographs and which as a parameter file. One rule
// for the desktop application and the command-line tool, so the same list of names gives the
// same stitch in either.

#include <string>
#include <vector>

namespace vantorra {

// The name after the last '/' (the whole path when there is none).
std::string fileNamePart(const std::string& path);

// A photograph's file name ends in ".jpg", ".jpeg", ".jpe", ".png", ".tif", ".tiff", ".heic" or
// ".heif", in any mix of case. (The file's own signature then decides how it is read.)
bool isPhotographName(const std::string& path);

// Why a file whose name is not a photograph's is left out.
inline constexpr const char* kNotAPhotograph = "not a photograph (JPEG, PNG, TIFF or HEIF)";

// A parameter file's name contains ".txt", ".TXT", ".ast" or ".AST".
bool isParameterFileName(const std::string& path);

// True when both paths name the same file, whether or not it exists yet ("a/../pano.jpg" and
// "pano.jpg" are the same when the current directory is a).
bool isSameFile(const std::string& a, const std::string& b);

struct SkippedFile {
    std::string path;
    std::string reason;  // kNotAPhotograph, "the panorama about to be written"
};

struct PhotoSelection {
    std::vector<std::string> photographs;  // in the order given
    std::vector<SkippedFile> skipped;
};

// Keeps the photographs among `paths`, leaving out other files and the output panorama itself
// (`outputPath`, the pano.jpg the run is about to write), so an earlier result is never stitched
// into the next one while a photograph merely named like it ("weir1_pano.jpg") still is.
PhotoSelection selectPhotographs(const std::vector<std::string>& paths, const std::string& outputPath);

}  // namespace vantorra
