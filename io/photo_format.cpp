#include "io/photo_format.h"

#include <cstring>

namespace vantorra {
namespace {

bool startsWith(const uint8_t* start, size_t size, const char* signature, size_t length) {
    return size >= length && std::memcmp(start, signature, length) == 0;
}

// An ISO media file whose 'ftyp' box names a brand of still images libheif decodes.
bool isHeif(const uint8_t* start, size_t size) {
    if (size < 12 || std::memcmp(start + 4, "ftyp", 4) != 0) return false;
    static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs",
                                          "mif1", "msf1", "avif", "avis"};
    for (const char* brand : kBrands)
        if (std::memcmp(start + 8, brand, 4) == 0) return true;
    return false;
}

}  // namespace

PhotoFormat formatOfSignature(const uint8_t* start, size_t size) {
    if (startsWith(start, size, "\xFF\xD8\xFF", 3)) return PhotoFormat::Jpeg;
    if (startsWith(start, size, "\x89PNG\r\n\x1A\n", 8)) return PhotoFormat::Png;
    // Classic TIFF (42) and BigTIFF (43), either byte order.
    if (startsWith(start, size, "II*\0", 4) || startsWith(start, size, "MM\0*", 4) ||
        startsWith(start, size, "II+\0", 4) || startsWith(start, size, "MM\0+", 4))
        return PhotoFormat::Tiff;
    if (isHeif(start, size)) return PhotoFormat::Heif;
    return PhotoFormat::Unknown;
}

PhotoFormat formatOfFile(std::FILE* file) {
    uint8_t start[16];
    std::rewind(file);
    const size_t size = std::fread(start, 1, sizeof start, file);
    std::rewind(file);
    return formatOfSignature(start, size);
}

const char* formatName(PhotoFormat format) {
    switch (format) {
        case PhotoFormat::Jpeg: return "JPEG";
        case PhotoFormat::Png: return "PNG";
        case PhotoFormat::Tiff: return "TIFF";
        case PhotoFormat::Heif: return "HEIF";
        case PhotoFormat::Unknown: break;
    }
    return "unknown";
}

}  // namespace vantorra
