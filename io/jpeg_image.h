#pragma once
// The image containers read from and written to JPEG files: decoding straight into float
// samples (whole, or halved as the rows arrive) and encoding an 8-bit image.

#include <string>

#include "core/image.h"

namespace vantorra {

// Decodes a JPEG into 3-channel samples 0-255; false (left empty, reason in error) on failure.
bool readJpeg(const std::string& path, FloatImage& image, std::string* error = nullptr);

// The same as readJpeg followed by halfSize `halvings` times (at least once), sample for sample,
// without ever holding the full-resolution image or any larger halving; the photograph's size
// comes back in fullRows and fullCols.
bool readJpegHalved(const std::string& path, FloatImage& image, int& fullRows, int& fullCols,
                    std::string* error = nullptr, int halvings = 1);

// The fullRows x fullCols photograph reduced `halvings` times to (fullRows >> halvings) x
// (fullCols >> halvings). The decoder's own half-size decoding (a 4 x 4 inverse transform per
// block, a fair low-pass) does the first halving, so most of the decoding work is never done;
// 2 x 2 block averages do the rest, as readJpegHalved does. The decoder's coarser scalings keep
// two or one coefficient of a block and gave less precise registrations. Close to
// readJpegHalved, not equal to it.
bool readJpegReduced(const std::string& path, FloatImage& image, int fullRows, int fullCols, int halvings,
                     std::string* error = nullptr);

// Writes a 3-channel image as a baseline RGB JPEG; false (with the reason in error) when it
// cannot be written.
bool writeJpeg(const std::string& path, const Image& image, int quality, std::string* error = nullptr);

}  // namespace vantorra
