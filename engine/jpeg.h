#pragma once
// JPEG coding through libjpeg. Both routines return control to the caller on every failure (an
// unopenable path, corrupt or truncated data, an unsupported colour space, an image too large to
// hold): they report false with a one-line reason and never end the process.

#include <cstdint>
#include <string>
#include <vector>

namespace vantorra {

struct JpegHeader {
    int width = 0;
    int height = 0;
    int components = 0;  // as stored in the file (1 grey, 3 colour, 4 CMYK/YCCK)
};

// Reads only the header: the size of a photograph without decoding it.
bool readJpegHeader(const std::string& path, JpegHeader& header, std::string* error = nullptr);

// Receives a decoded image one row at a time, top row first, 3 bytes (RGB) per pixel.
class JpegRowSink {
public:
    virtual ~JpegRowSink() = default;
    // Called once before the first row; false refuses the image (nothing is decoded).
    virtual bool begin(int width, int height) = 0;
    virtual void row(int index, const uint8_t* rgb) = 0;
};

// Decodes into `sink` without holding the whole image, with the conversions of readJpeg.
bool readJpegRows(const std::string& path, JpegRowSink& sink, std::string* error = nullptr);

// As readJpegRows at 1/scaleDenom of the size (1, 2, 4 or 8), scaled by the decoder itself: a
// side of n pixels gives ceil(n / scaleDenom), pixel centres as in a box reduction.
bool readJpegRowsScaled(const std::string& path, int scaleDenom, JpegRowSink& sink,
                        std::string* error = nullptr);

// Decodes to 3 bytes per pixel (RGB), rows top to bottom. Greyscale and CMYK/YCCK files are
// converted to RGB. Images of 2^30 samples or more are refused before any pixel is allocated.
bool readJpeg(const std::string& path, std::vector<uint8_t>& pixels, int& width, int& height,
              std::string* error = nullptr);

// Writes 3-component RGB at the given quality, baseline, through a temporary file beside `path`.
// A path that cannot be opened gives false with "can't open PATH: reason" in `error`, any other
// failure "can't write PATH: reason".
bool writeJpeg(const std::string& path, const uint8_t* pixels, int width, int height, int quality,
               std::string* error = nullptr);

}  // namespace vantorra
