#include "io/panorama_checksum.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

#include "io/input_files.h"
#include "io/parameter_lines.h"

namespace vantorra {
namespace {

std::string hex8(uint32_t value) {
    char text[9];
    for (int i = 7; i >= 0; --i, value >>= 4) text[i] = "0123456789abcdef"[value & 0xF];
    text[8] = '\0';
    return text;
}

template <typename T>
bool parseWhole(const std::string& word, T& value, int base) {
    const char* end = word.data() + word.size();
    const auto [stop, failure] = std::from_chars(word.data(), end, value, base);
    return failure == std::errc() && stop == end;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string panoramaSection(const PanoramaChecksum& panorama) {
    return std::string(kPanoramaSection) + '\n' + panorama.name + '\n' + std::to_string(panorama.bytes) + ' ' +
           hex8(panorama.crc32) + '\n';
}

std::string readPanoramaSection(ParameterLines& lines, PanoramaChecksum& panorama) {
    PanoramaChecksum read;
    std::string bytes, crc, rest;
    if (!lines.nextName(read.name)) return "its panorama section has no file name";
    if (read.name.find('/') != std::string::npos) return "its panorama section names a file in another folder";
    if (!lines.nextWord(bytes) || !lines.nextWord(crc)) return "its panorama section is cut short";
    if (!parseWhole(bytes, read.bytes, 10) || read.bytes < 0 || crc.size() != 8 || !parseWhole(crc, read.crc32, 16))
        return "its panorama section holds no size and checksum";
    if (lines.nextWord(rest)) return "text after its panorama section";
    if (lines.failed()) return lines.error();
    panorama = std::move(read);
    return std::string();
}

bool checksumOfFile(int descriptor, PanoramaChecksum& checksum, std::string* error) {
    std::vector<unsigned char> block(size_t{1} << 20);
    uLong crc = crc32(0L, Z_NULL, 0);
    int64_t total = 0;
    for (;;) {
        const ssize_t n = pread(descriptor, block.data(), block.size(), static_cast<off_t>(total));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = std::strerror(errno);
            return false;
        }
        if (n == 0) break;
        crc = crc32(crc, block.data(), static_cast<uInt>(n));
        total += n;
    }
    checksum.bytes = total;
    checksum.crc32 = static_cast<uint32_t>(crc);
    return true;
}

std::string checkPanoramaPair(const std::string& parameterPath, const PanoramaChecksum& recorded) {
    if (!recorded.known()) return std::string();
    const std::string panoramaPath = folderOf(parameterPath) + recorded.name;
    std::FILE* file = openInputFile(panoramaPath);
    if (!file) return std::string();
    PanoramaChecksum found;
    const bool read = checksumOfFile(fileno(file), found);
    std::fclose(file);
    if (!read || found.sameFile(recorded)) return std::string();
    return panoramaPath + " is not the panorama " + parameterPath + " was written with (" +
           std::to_string(found.bytes) + " bytes, CRC-32 " + hex8(found.crc32) + "; recorded " +
           std::to_string(recorded.bytes) + " bytes, CRC-32 " + hex8(recorded.crc32) +
           "): a run was stopped between writing the two";
}

}  // namespace vantorra
