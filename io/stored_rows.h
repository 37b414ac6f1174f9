#pragma once
// The common back half of the PNG, TIFF and HEIF readers. Each decodes its file row by row in
// the order the rows are stored, 16 bits a sample whatever the file holds; this stage turns the
// rows upright, reduces them by a whole factor and hands the wanted band to a PhotoRowSink, as
// the JPEG reader does with its own decoder.

#include <cstdint>
#include <string>
#include <vector>

#include "io/photo_rows.h"

namespace vantorra {

// One photograph's rows in stored order, with what the file says about them.
class StoredRows {
public:
    virtual ~StoredRows() = default;
    // The stored frame's size.
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Whether the file has an alpha channel (each row's cover is filled then; else left alone).
    virtual bool hasAlpha() const = 0;
    // Decodes the next stored row: 3 samples 0..65535 a pixel into rgb (3 x width) and, with an
    // alpha channel, each pixel's cover 0..255 into cover (width). False, with the reason, when
    // the file cannot give it.
    virtual bool next(uint16_t* rgb, uint8_t* cover, std::string& error) = 0;
};

// The size of a side of n pixels reduced by `factor`: every started block counts.
inline int reducedSide(int n, int factor) { return (n + factor - 1) / factor; }

// Hands `sink` the upright rows firstRow .. firstRow + rowCount - 1 (rowCount < 0: to the end) of
// the photograph turned by EXIF `orientation` and reduced by `factor` (each output pixel the mean
// of the covered pixels of its factor x factor block; a block with none covered is black and not
// covered). False with the reason in error when a row cannot be read or the sink refuses.
bool deliverRows(StoredRows& rows, int orientation, int factor, PhotoRowSink& sink, std::string& error,
                 int firstRow = 0, int rowCount = -1);

}  // namespace vantorra
