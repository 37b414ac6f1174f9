#pragma once
// Where a decoder hands a photograph, one upright row at a time. Every reader (JPEG, PNG, TIFF,
// HEIF) delivers through this interface, so the stages that read photographs do not know the
// format.

#include <cstdint>

namespace vantorra {

// Receives a decoded image one row at a time, top row first, 3 bytes (RGB) per pixel.
class PhotoRowSink {
public:
    virtual ~PhotoRowSink() = default;
    // Called once before the first row; false refuses the image (nothing is decoded).
    virtual bool begin(int width, int height) = 0;
    virtual void row(int index, const uint8_t* rgb) = 0;

    // A sink that keeps more than 8 bits says so; it is then handed every row through wideRow
    // instead of row, 3 samples 0..65535 a pixel (an 8-bit file's samples times 257).
    virtual bool wantsWideSamples() const { return false; }
    virtual void wideRow(int, const uint16_t*) {}
    // How much of each pixel of the row the photograph covers (its alpha, 0 not at all, 255
    // wholly), handed before the row itself, for a file that has an alpha channel.
    virtual void cover(int, const uint8_t*) {}
};

}  // namespace vantorra
