#pragma once
// HEIF photographs (HEIC from phones, and the other codecs libheif decodes): the primary image,
// turned and mirrored as its transform boxes say (they, not the EXIF orientation, govern a HEIF
// image), 8 to 16 bits, with or without alpha, and the focal length of its EXIF block.

#include <cstdio>
#include <memory>
#include <string>

#include "io/exif.h"
#include "io/stored_rows.h"

namespace vantorra {

struct HeifFacts {
    int width = 0, height = 0;  // upright
    int bits = 8;
    bool alpha = false;
    ExifFacts exif;  // orientation always 1: the image is delivered upright
};

// Reads the file's structure and the primary image's properties, without decoding it.
bool readHeifFacts(std::FILE* file, HeifFacts& facts, std::string& error);

// Decodes the primary image of the open file (the decoder works on the whole image at once) and
// hands out its rows; the caller keeps the file open until this returns.
std::unique_ptr<StoredRows> openHeifRows(std::FILE* file, std::string& error);

}  // namespace vantorra
