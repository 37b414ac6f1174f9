#pragma once
// TIFF photographs through libtiff (classic TIFF and BigTIFF): greyscale, colour or palette, 8 or
// 16 bits a sample, with or without alpha, in strips or tiles, samples interleaved or in planes,
// any compression libtiff decodes; the orientation tag and the EXIF directory's 35-mm focal length.

#include <cstdio>
#include <memory>
#include <string>

#include "io/exif.h"
#include "io/stored_rows.h"

namespace vantorra {

struct TiffFacts {
    int width = 0, height = 0;  // as stored
    int bits = 8;               // per sample
    int channels = 3;           // colour channels and alpha as delivered: 1..4
    bool alpha = false;
    ExifFacts exif;
};

// Reads the first directory of an open TIFF file (and its EXIF directory) without decoding.
bool readTiffFacts(std::FILE* file, TiffFacts& facts, std::string& error);

// Opens the rows of the first image of the TIFF file, which the caller keeps open while they are read.
std::unique_ptr<StoredRows> openTiffRows(std::FILE* file, std::string& error);

}  // namespace vantorra
