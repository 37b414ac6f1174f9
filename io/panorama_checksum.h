#pragma once
// The panorama a parameter file belongs to. The two files of a run are replaced one after the
// other, so a run killed between the two renames leaves a pair that does not belong together;
// the parameter file records the size and the CRC-32 of its panorama's file so that such a pair
// is recognised when the file is opened again. Any panorama format, any file name.
//
// The record is a section after the records (and after the lens section when there is one):
// the line kPanoramaSection, the panorama's file name (a whole line, as it is beside the
// parameter file), then its size in bytes and its CRC-32 in eight hexadecimal digits. A reader
// that knows no such section stops at the marker line, a record whose size is not a number.

#include <cstdint>
#include <string>

namespace vantorra {

class ParameterLines;

inline constexpr const char* kPanoramaSection = "[panorama bytes crc32]";

struct PanoramaChecksum {
    std::string name;  // the panorama's file name, in the parameter file's folder
    int64_t bytes = -1;
    uint32_t crc32 = 0;
    bool known() const { return bytes >= 0; }
    bool sameFile(const PanoramaChecksum& other) const { return bytes == other.bytes && crc32 == other.crc32; }
};

// The section's lines, each ended by a line feed.
std::string panoramaSection(const PanoramaChecksum& panorama);

// Reads what follows the marker line: empty when the section is whole and ends the text, else
// why not. All or nothing: `panorama` is set only when it is whole.
std::string readPanoramaSection(ParameterLines& lines, PanoramaChecksum& panorama);

// The size and CRC-32 of the whole file open as `descriptor` (read with pread, from the start);
// false with the reason when it cannot be read.
bool checksumOfFile(int descriptor, PanoramaChecksum& checksum, std::string* error = nullptr);

// Empty when the panorama beside `parameterPath` is the one `recorded` names, or is not there
// (moved elsewhere, never written); else "PANORAMA is not the panorama PARAMETERS was written
// with (...)".
std::string checkPanoramaPair(const std::string& parameterPath, const PanoramaChecksum& recorded);

}  // namespace vantorra
