#pragma once
// Photographs with EXIF blocks for the tests: the block is built with libexif and written into
// the file as an APP1 segment by libjpeg, the way a camera stores it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <libexif/exif-data.h>

namespace vantorra::tagged {

// An EXIF block under construction. Each tag is written in the format the standard gives it.
class ExifBlock {
public:
    ExifBlock() : ExifBlock(EXIF_BYTE_ORDER_MOTOROLA) {}
    explicit ExifBlock(ExifByteOrder order);
    ExifBlock& integer(ExifIfd ifd, ExifTag tag, uint32_t value);  // SHORT or LONG tags
    ExifBlock& rational(ExifIfd ifd, ExifTag tag, uint32_t numerator, uint32_t denominator);
    ExifBlock& orientation(int value) { return integer(EXIF_IFD_0, EXIF_TAG_ORIENTATION, static_cast<uint32_t>(value)); }
    // The APP1 payload, starting with "Exif\0\0".
    std::vector<uint8_t> bytes() const;

private:
    ExifEntry* add(ExifIfd ifd, ExifTag tag);
    struct Release {
        void operator()(ExifData* data) const { exif_data_unref(data); }
    };
    std::unique_ptr<ExifData, Release> data_;
    ExifByteOrder order_;
};

// Samples of an asymmetric pattern (steep in x, gentle in y, some texture) of any component
// count, so that any wrong turn or mirror of the decoded image shows.
std::vector<uint8_t> patternSamples(int width, int height, int components);

// Writes the samples (1 grey, 3 RGB or 4 CMYK) as a JPEG at quality 95 with an APP1 segment for
// each payload, in order. Files that differ only in their APP1 segments hold the same coded image.
void writeJpegWithApp1(const std::string& path, const std::vector<uint8_t>& samples, int width, int height,
                       int components, const std::vector<std::vector<uint8_t>>& app1Payloads);

}  // namespace vantorra::tagged
