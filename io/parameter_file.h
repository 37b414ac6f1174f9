#pragma once
// The panorama parameter file ("pano.txt"): one record per image with its name, full-resolution
// size, imageTransform, rotation and focal length, so a panorama can be rendered again without
// matching. Floats are saved with six significant digits.

#include <cstdint>
#include <iosfwd>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "core/image_size.h"
#include "core/output_mapping.h"
#include "io/panorama_checksum.h"
#include "io/parameter_lines.h"
#include "numerics/camera.h"

namespace vantorra {

// What the file holds of one photograph.
struct CameraRecord {
    std::string name;  // as given, relative to the run's directory
    ImageSize size;    // full resolution (channels 3)
    Camera camera;     // focal length 0 outside the panorama
};

// The line that follows the last record when lens distortion is recorded. One line per record
// follows it, "lens K1 K2" in record order (0 0 outside the panorama). A reader that knows no
// distortion sees the marker as the name of a record whose size is not a number, and stops there
// without taking any camera for another.
inline constexpr const char* kDistortionSection = "[lens distortion k1 k2]";

// Writes one record per photograph, in order. Records outside the component are written with a
// zero rotation and focal length 0. With `matrices` set, each record holds instead the one matrix
// imageTransform * K(f) * R (zeros outside the component). When a camera of the panorama has lens
// distortion, the distortion section follows the records; a known `mapping` follows as the
// output section (io/output_section.h).
std::ostream& writeParameterFile(std::ostream& out, std::span<const CameraRecord> records,
                                 std::span<const int32_t> component, bool matrices = false,
                                 const OutputMapping* mapping = nullptr);

// Appends the records of `in` to `records` (sizes with channels 3) and returns how many it
// appended. A name is a whole line, kept exactly but for the carriage returns it ends in (blank
// lines are skipped); numbers may be spread over lines in any spacing. A line longer than any
// path refuses the file at once ("line N is longer than any path ..."). All or nothing: when a record is cut short,
// has a negative size or a number that is not finite, or has a non-zero focal length with a size
// that is not positive or a rotation that is not orthonormal (within 1e-3) or is a reflection,
// nothing is appended, -1 is returned and `error` names the record ("record N (name): reason", N
// from 1). The same happens as soon as a record beyond maxRecords begins. A distortion section
// gives the cameras their lenses; it must have a line for every record, hold finite coefficients
// of at most 2 in size and end the file but for the panorama section, or the file is refused in
// the same way; so is an output section or a panorama section that is not whole or is followed by
// anything but the panorama section. Their records go to `mapping` and `panorama` when given.
int readParameterFile(std::istream& in, std::vector<CameraRecord>& records, std::string* error = nullptr,
                      int maxRecords = std::numeric_limits<int>::max(), PanoramaChecksum* panorama = nullptr,
                      OutputMapping* mapping = nullptr);

// The least a rendered image costs for the whole render whatever its size: its gain thumbnail
// of at least 50 x 50 pixels in three float channels, rounded up for its share of the block
// plan. A memory budget therefore holds at most budget / this many images.
constexpr int64_t kBytesPerRenderedImage = 32 * 1024;
// The most records a parameter file may have under `memoryBudget` bytes (at least 2): 8192 at
// the default 0.25 GB. A longer file is refused before anything is rendered.
int maxParameterFileRecords(int64_t memoryBudget);

// The records whose focal length is not 0, in order: the panorama of a file.
std::vector<int32_t> registeredRecords(std::span<const CameraRecord> records);

// Why the photographs of the panorama's records cannot be rendered, or empty when they can: each
// one's header (directory + name) must be readable and give the recorded size ("record N: reason").
std::string checkParameterFilePhotographs(const std::string& directory, std::span<const CameraRecord> records,
                                          std::span<const int32_t> component);

// Reads the records of the parameter file at `path` into `records` (emptied first). Returns the
// record count, or -1 when the file cannot be opened or is not a regular file, has a bad record
// or more records than `memoryBudget` allows; `records` is then empty and `error` gives the
// reason. The panorama and output sections go to `panorama` and `mapping` when given.
int loadParameterFile(const std::string& path, int64_t memoryBudget, std::vector<CameraRecord>& records,
                      std::string* error = nullptr, PanoramaChecksum* panorama = nullptr,
                      OutputMapping* mapping = nullptr);

}  // namespace vantorra
