#pragma once
// The panorama parameter file ("pano.txt"): one record per image with its name, full-resolution
// size, imageTransform, rotation and focal length, so a panorama can be rendered again without
// matching. Floats are saved with six significant digits.

#include <iosfwd>
#include <string>

namespace vantorra {

class Stitcher;

// Writes one record per image name, in image-number order. Images outside the component are
// written with a zero rotation and focal length 0. With options.parameterFileMatrices set, each
// record holds instead the one matrix imageTransform * K(f) * R (zeros outside the component).
std::ostream& writeParameterFile(std::ostream& out, const Stitcher& stitcher);

// Appends the records of `in` to imageNames, imageSizes (channels 3) and cameras, and returns
// how many it appended. A name is a whole line (surrounding white space removed, blank lines
// skipped); numbers may be spread over lines in any spacing. Reading stops at the first record
// that is cut short, has a size that is not positive or a number that is not finite; that
// record adds nothing.
int readParameterFile(std::istream& in, Stitcher& stitcher);

// Prepares `stitcher` to render the cameras of the parameter file at `path`: empties every
// per-run list, sets featureImageMemory to 0, reads the records, gives each image an empty
// feature image and thumbnail at level 0, and makes the component every image whose focal
// length is not 0. imagesSelected and needsRegistration are set true; the caller sets
// imageDirectory and, before rendering, clears needsRegistration. Returns the record count,
// or -1 when the file cannot be opened (the lists are then empty).
int loadParameterFile(const std::string& path, Stitcher& stitcher);

}  // namespace vantorra
