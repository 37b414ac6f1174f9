#pragma once
// The file formats a panorama is written in, what each can hold, and the metadata it carries.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantorra {

enum class PanoramaFormat { Jpeg, Tiff, Png };

// The few fields a TIFF keeps as tags of its own, beside the XMP packet that holds them all.
struct PanoramaTags {
    std::string make, model, software;
    std::string dateTime;  // the first photograph's DateTimeOriginal, "YYYY:MM:DD HH:MM:SS"
};

// What the photographs' metadata gives the panorama, encoded for embedding: each writer puts it
// where its format keeps it (JPEG markers, PNG chunks, TIFF tags). Empty parts are left out.
struct PanoramaMetadata {
    std::vector<uint8_t> icc;   // the colour profile, as stored in an ICC file
    std::vector<uint8_t> exif;  // a TIFF-structured EXIF block (no "Exif\0\0" in front)
    std::string xmp;            // an XMP packet (the EXIF fields in it too, for TIFF)
    PanoramaTags tags;
    bool empty() const { return icc.empty() && exif.empty() && xmp.empty(); }
};

struct PanoramaEncoding {
    PanoramaFormat format = PanoramaFormat::Jpeg;
    int depth = 8;      // bits a sample: 8, or 16 for TIFF and PNG
    int quality = 75;   // JPEG only
    PanoramaMetadata metadata;
};

// The format named "jpeg" (or "jpg"), "tiff" ("tif") or "png"; nothing for another name.
std::optional<PanoramaFormat> panoramaFormatNamed(const std::string& name);
const char* panoramaFormatName(PanoramaFormat format);  // "jpeg", "tiff", "png"
// The name of a run's panorama file: "pano.jpg", "pano.tif" or "pano.png".
const char* panoramaFileName(PanoramaFormat format);
// The format a file name's extension asks for (".jpg", ".JPEG", ".tif", ".tiff", ".png", ...).
std::optional<PanoramaFormat> panoramaFormatOfName(const std::string& path);

// Empty when a panorama of width x height can be written with `encoding`, else why not: a JPEG
// holds at most 65,500 pixels a side (the message names the format that holds more), and only
// TIFF and PNG hold 16 bits.
std::string panoramaEncodingProblem(const PanoramaEncoding& encoding, int64_t width, int64_t height);

// Whether a TIFF of width x height x 3 samples of `depth` bits must be a BigTIFF: classic TIFF
// addresses at most 4 GiB, and deflate may not shrink a noisy panorama at all, so the decision
// is taken on the uncompressed size with room for the directory, strip tables and metadata.
bool needsBigTiff(int64_t width, int64_t height, int depth, size_t metadataBytes = 0);

}  // namespace vantorra
