#pragma once
// What a photograph's EXIF block says about how to show it and how wide its view is. A block that
// is missing, corrupt, cut short or holds absurd values never stops a decode: the affected facts
// keep their defaults and `ignored` says why, for the caller to log.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantorra {

// The diagonal of a 36 x 24 mm frame: the reference for 35-mm-equivalent focal lengths.
inline constexpr float kFullFrameDiagonalMm = 43.27f;

struct ExifFacts {
    // The EXIF orientation tag, 1..8: how the stored pixels must be turned and mirrored to stand
    // upright (1 as stored, 6 turned a quarter clockwise, 8 a quarter anticlockwise, ...).
    int orientation = 1;
    // The 35-mm-equivalent focal length in mm, 0 when unknown.
    float focal35mm = 0;
    // Why something in the block was left out, one line; empty when nothing was.
    std::string ignored;
};

// Reads an APP1 payload that starts with "Exif\0\0". storedWidth and storedHeight are the size of
// the frame as stored in the file (before any turning); they stand in for the pixel size the
// block may record when the focal length has to be worked out from the focal-plane resolution.
ExifFacts readExifFacts(const uint8_t* payload, size_t size, int storedWidth, int storedHeight);

// Whether a 35-mm-equivalent focal length is one a lens could have (any EXIF source checks it).
bool plausibleFocal35mm(double focal35mm);

// The focal length in pixels of the upright image, 0 when the facts hold no focal length.
float focalInPixels(const ExifFacts& facts, int uprightWidth, int uprightHeight);

}  // namespace vantorra
