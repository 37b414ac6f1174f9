#pragma once
// PNG photographs through libpng: greyscale, colour or palette, 1 to 16 bits, with or without
// alpha (a tRNS chunk counts as alpha), interlaced or not, and the EXIF block of an eXIf chunk.

#include <cstdio>
#include <memory>
#include <string>

#include "io/exif.h"
#include "io/stored_rows.h"

namespace vantorra {

struct PngFacts {
    int width = 0, height = 0;  // as stored
    int bits = 8;               // per sample as stored (1..16)
    int channels = 3;           // as stored: 1 grey, 2 grey + alpha, 3 colour, 4 colour + alpha
    bool alpha = false;
    ExifFacts exif;
};

// Reads the header (and an eXIf chunk before the image data) of an open PNG file.
bool readPngFacts(std::FILE* file, PngFacts& facts, std::string& error);

// Opens the rows of the PNG file, which the caller keeps open while they are read.
std::unique_ptr<StoredRows> openPngRows(std::FILE* file, std::string& error);

}  // namespace vantorra
