#pragma once
// Reading a photograph in any of the formats Vantorra takes (JPEG, PNG, TIFF, HEIF), chosen by
// the file's signature. Every reader delivers the photograph upright and refuses what it cannot
// read with "PATH: reason", as the JPEG reader does; a file that changes while it is read fails
// with "PATH changed during the run".

#include <string>

#include "io/exif.h"
#include "io/photo_format.h"
#include "io/photo_rows.h"

namespace vantorra {

struct PhotoHeader {
    int width = 0;   // upright
    int height = 0;
    int components = 0;  // as stored: 1 grey, 2 grey and alpha, 3 colour, 4 colour and alpha (or CMYK in a JPEG)
    int bits = 8;        // per sample as stored
    bool alpha = false;  // whether pixels may be left uncovered (alpha 0)
    PhotoFormat format = PhotoFormat::Unknown;
    ExifFacts exif;
};

// Reads only the header: the size and facts of a photograph without decoding it.
bool readPhotoHeader(const std::string& path, PhotoHeader& header, std::string* error = nullptr);

// Decodes into `sink`, reduced 1/scaleDenom (1, 2, 4 or 8; a side of n pixels gives
// ceil(n / scaleDenom)); with a rowCount of 0 or more only the reduced rows firstRow ..
// firstRow + rowCount - 1 (cut at the image's end) are handed over, as rows 0, 1, ....
bool readPhotoRowsScaled(const std::string& path, int scaleDenom, PhotoRowSink& sink, std::string* error = nullptr,
                         int firstRow = 0, int rowCount = -1);

inline bool readPhotoRows(const std::string& path, PhotoRowSink& sink, std::string* error = nullptr) {
    return readPhotoRowsScaled(path, 1, sink, error);
}

}  // namespace vantorra
