#pragma once
// JPEG coding through libjpeg. Both routines return control to the caller on every failure (an
// unopenable path, corrupt or truncated data, an unsupported colour space, an image too large to
// hold): they report false with a one-line reason and never end the process.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "io/exif.h"
#include "io/photo_rows.h"

namespace vantorra {

// Every reader delivers the photograph upright, turned and mirrored as its EXIF orientation asks,
// so sizes and rows are those of the upright image.
struct JpegHeader {
    int width = 0;   // upright: the stored height when the orientation swaps the sides
    int height = 0;
    int components = 0;  // as stored in the file (1 grey, 3 colour, 4 CMYK/YCCK)
    ExifFacts exif;      // orientation, focal length and whatever in the EXIF block was ignored
};

// Reads only the header (and the EXIF block): the size of a photograph without decoding it.
bool readJpegHeader(const std::string& path, JpegHeader& header, std::string* error = nullptr);

// The JPEG readers hand their rows to any photograph sink.
using JpegRowSink = PhotoRowSink;

// Makes room in `samples` for one more row of rowSamples, out of totalRows. Sinks grow their
// storage this way instead of allocating the size the header claims, so the memory a file costs
// follows the rows it really holds: capacity starts at about 16 MB and doubles, never beyond the
// whole image.
template <typename T, typename Allocator>
void reserveNextRow(std::vector<T, Allocator>& samples, size_t rowSamples, int totalRows) {
    if (samples.size() + rowSamples <= samples.capacity()) return;
    const size_t whole = rowSamples * static_cast<size_t>(std::max(totalRows, 1));
    const size_t start = std::max(rowSamples, (size_t{16} << 20) / sizeof(T));
    samples.reserve(std::min(whole, std::max(start, 2 * samples.capacity())));
}

// A reader's failure as "PATH: reason": the "can't open " a failure to open the file starts with
// is left off, for a front end that puts its own verb in front.
std::string readFailureReason(const std::string& error);

// Decodes into `sink` without holding the whole image, with the conversions of readJpeg.
bool readJpegRows(const std::string& path, JpegRowSink& sink, std::string* error = nullptr);

// As readJpegRows at 1/scaleDenom of the size (1, 2, 4 or 8), scaled by the decoder itself: a
// side of n pixels gives ceil(n / scaleDenom), pixel centres as in a box reduction. With a
// rowCount of 0 or more only the scaled rows firstRow .. firstRow + rowCount - 1 (cut at the
// image's end) of the upright image are handed to the sink as rows 0, 1, ...; the sink's begin()
// gets that band's height. A photograph stored upright streams its rows; any other is decoded first,
// only the stored rows or columns the band needs, 3 bytes a pixel, then handed over turned.
bool readJpegRowsScaled(const std::string& path, int scaleDenom, JpegRowSink& sink,
                        std::string* error = nullptr, int firstRow = 0, int rowCount = -1);

// Decodes to 3 bytes per pixel (RGB), rows top to bottom. Greyscale and CMYK/YCCK files are
// converted to RGB. Images of 2^30 samples or more are refused before any pixel is allocated.
bool readJpeg(const std::string& path, std::vector<uint8_t>& pixels, int& width, int& height,
              std::string* error = nullptr);

// Writes 3-component RGB at the given quality, baseline, through a temporary file beside `path`.
// A path that cannot be opened gives false with "can't open PATH: reason" in `error`, any other
// failure "can't write PATH: reason".
bool writeJpeg(const std::string& path, const uint8_t* pixels, int width, int height, int quality,
               std::string* error = nullptr);

// Encodes as writeJpeg does into a file the caller has opened and will close; the reason of a
// failure (a full disk, say) comes back in error. The caller flushes and checks the file.
bool writeJpegToFile(std::FILE* file, const uint8_t* pixels, int width, int height, int quality,
                     std::string* error = nullptr);

}  // namespace vantorra
