// Feeds arbitrary text to the reader of the panorama section (what follows its marker line in a
// parameter file) through the bounded line reader. Beyond not crashing: a refusal leaves the
// record unset and says why; an accepted record is whole, names a file of the same folder, and
// reads back the same after being written out. No line ever holds more than a path's length.

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "io/panorama_checksum.h"
#include "io/parameter_lines.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vantorra;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    ParameterLines lines(in);
    PanoramaChecksum read;
    const std::string why = readPanoramaSection(lines, read);
    if (!why.empty()) {
        require(!read.known() && read.name.empty());
        require(why.size() < 200);
        return 0;
    }
    require(read.known() && !read.name.empty() && read.name.find('/') == std::string::npos);
    require(read.name.size() <= ParameterLines::kMaxLineBytes);

    std::string text = panoramaSection(read);
    text.erase(0, text.find('\n') + 1);  // the marker is the caller's to read
    std::istringstream back(text);
    ParameterLines again(back);
    PanoramaChecksum reread;
    if (unrecordableName(read.name).empty()) {
        require(readPanoramaSection(again, reread).empty());
        require(reread.name == read.name && reread.sameFile(read));
    }
    return 0;
}
