#pragma once
// The image containers read from photographs of any format (io/photo_reader.h) and written to
// JPEG files: decoding straight into float samples (whole, or halved as the rows arrive) and
// encoding an 8-bit image.

#include <string>

#include "core/image.h"

namespace vantorra {

// Decodes a photograph into 3-channel samples 0-255 (16-bit samples to their nearest 8-bit level); false (left empty, reason in error) on failure.
bool readPhoto(const std::string& path, FloatImage& image, std::string* error = nullptr);

// The same as readPhoto followed by halfSize `halvings` times (at least once), sample for sample,
// without ever holding the full-resolution image or any larger halving; the photograph's size
// comes back in fullRows and fullCols.
bool readPhotoHalved(const std::string& path, FloatImage& image, int& fullRows, int& fullCols,
                     std::string* error = nullptr, int halvings = 1);

// The fullRows x fullCols photograph reduced `halvings` times to (fullRows >> halvings) x
// (fullCols >> halvings). The decoder's own half-size decoding (for a JPEG, a 4 x 4 inverse
// transform per block, a fair low-pass; for the other formats 2 x 2 means) does the first
// halving, so most of the decoding work is never done; 2 x 2 block averages do the rest, as
// readPhotoHalved does. The JPEG decoder's coarser scalings keep two or one coefficient of a
// block and gave less precise registrations. Close to readPhotoHalved, not equal to it.
bool readPhotoReduced(const std::string& path, FloatImage& image, int fullRows, int fullCols, int halvings,
                      std::string* error = nullptr);

// Writes a 3-channel image as a baseline RGB JPEG; false (with the reason in error) when it
// cannot be written.
bool writeJpeg(const std::string& path, const Image& image, int quality, std::string* error = nullptr);

}  // namespace vantorra
