#include "io/panorama_format.h"

#include <algorithm>

#include "core/lower_case.h"
#include "options/option_ranges.h"

namespace vantorra {

std::optional<PanoramaFormat> panoramaFormatNamed(const std::string& name) {
    const std::string lower = lowerCase(name);
    if (lower == "jpeg" || lower == "jpg") return PanoramaFormat::Jpeg;
    if (lower == "tiff" || lower == "tif") return PanoramaFormat::Tiff;
    if (lower == "png") return PanoramaFormat::Png;
    return std::nullopt;
}

const char* panoramaFormatName(PanoramaFormat format) {
    switch (format) {
        case PanoramaFormat::Tiff: return "tiff";
        case PanoramaFormat::Png: return "png";
        case PanoramaFormat::Jpeg: break;
    }
    return "jpeg";
}

const char* panoramaFileName(PanoramaFormat format) {
    switch (format) {
        case PanoramaFormat::Tiff: return "pano.tif";
        case PanoramaFormat::Png: return "pano.png";
        case PanoramaFormat::Jpeg: break;
    }
    return "pano.jpg";
}

std::optional<PanoramaFormat> panoramaFormatOfName(const std::string& path) {
    const size_t dot = path.find_last_of('.'), slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
    const std::string extension = lowerCase(path.substr(dot + 1));
    if (extension == "jpe") return PanoramaFormat::Jpeg;
    return panoramaFormatNamed(extension);
}

std::string panoramaEncodingProblem(const PanoramaEncoding& encoding, int64_t width, int64_t height) {
    if (encoding.depth != 8 && encoding.depth != 16) return "the depth must be 8 or 16 bits, not " + std::to_string(encoding.depth);
    if (encoding.format == PanoramaFormat::Jpeg && encoding.depth != 8)
        return "a JPEG holds 8 bits a sample: use --format tiff or --format png for 16";
    if (encoding.format == PanoramaFormat::Jpeg && std::max(width, height) > kMaxPanoramaSide)
        return "a JPEG holds at most " + std::to_string(kMaxPanoramaSide) + " pixels a side, not " +
               std::to_string(std::max(width, height)) + ": use --format tiff";
    // A PNG's sides are 31-bit; a TIFF's 32-bit. Neither limit is near what a budget can render.
    return std::string();
}

bool needsBigTiff(int64_t width, int64_t height, int depth, size_t metadataBytes) {
    constexpr int64_t kClassicLimit = int64_t{1} << 32;
    const int64_t samples = width * height * 3 * (depth / 8);
    // Each strip costs an offset and a count; a strip is at least a row.
    const int64_t tables = height * 8, overhead = int64_t{1} << 20;
    return samples + tables + static_cast<int64_t>(metadataBytes) + overhead >= kClassicLimit;
}

}  // namespace vantorra
