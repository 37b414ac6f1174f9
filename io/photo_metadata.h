#pragma once
// The metadata a panorama carries over from its photographs, read and encoded with exiv2: the
// first photograph's colour profile and its camera and exposure fields, with the panorama's own
// size, orientation and software, and for a spherical panorama the photo-sphere XMP fields that
// tell viewers where the image sits in the full sphere.

#include <optional>
#include <string>
#include <vector>

#include "io/panorama_format.h"

namespace vantorra {

// Where an equirectangular panorama sits in the full sphere, in pixels.
struct SpherePlacement {
    int64_t fullWidth = 0, fullHeight = 0;  // round(2 pi S), round(pi S)
    int64_t left = 0, top = 0;              // the image's top-left pixel in the full sphere
};

struct CarriedMetadata {
    PanoramaMetadata metadata;
    // For the log: the photographs' profiles differ, or a photograph's metadata could not be
    // read; empty when nothing is to be said.
    std::vector<std::string> warnings;
};

// From the photographs (paths, the first one's metadata carried) for a panorama of width x height.
CarriedMetadata carryMetadata(const std::vector<std::string>& photographs, int width, int height,
                              const std::optional<SpherePlacement>& sphere);

// What a file's metadata holds, for tests and checks: its profile, the EXIF fields by exiv2's
// key ("Exif.Image.Make") and the XMP fields ("Xmp.GPano.ProjectionType"), all as text.
struct ReadMetadata {
    std::vector<uint8_t> icc;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string field(const std::string& key) const;
};
std::optional<ReadMetadata> readMetadata(const std::string& path, std::string* error = nullptr);

}  // namespace vantorra
