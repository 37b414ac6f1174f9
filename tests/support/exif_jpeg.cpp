#include "support/exif_jpeg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace vantorra::tagged {

ExifBlock::ExifBlock(ExifByteOrder order) : data_(exif_data_new()), order_(order) {
    exif_data_set_byte_order(data_.get(), order);
}

ExifEntry* ExifBlock::add(ExifIfd ifd, ExifTag tag) {
    ExifEntry* entry = exif_entry_new();
    exif_content_add_entry(data_->ifd[ifd], entry);
    exif_entry_initialize(entry, tag);
    exif_entry_unref(entry);  // the directory holds it now
    return entry;
}

ExifBlock& ExifBlock::integer(ExifIfd ifd, ExifTag tag, uint32_t value) {
    ExifEntry* entry = add(ifd, tag);
    if (entry->format == EXIF_FORMAT_LONG) exif_set_long(entry->data, order_, value);
    else exif_set_short(entry->data, order_, static_cast<ExifShort>(value));
    return *this;
}

ExifBlock& ExifBlock::rational(ExifIfd ifd, ExifTag tag, uint32_t numerator, uint32_t denominator) {
    ExifEntry* entry = add(ifd, tag);
    exif_set_rational(entry->data, order_, ExifRational{numerator, denominator});
    return *this;
}

std::vector<uint8_t> ExifBlock::bytes() const {
    unsigned char* saved = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data_.get(), &saved, &size);
    std::vector<uint8_t> payload(saved, saved + size);
    std::free(saved);
    return payload;
}

std::vector<uint8_t> patternSamples(int width, int height, int components) {
    std::vector<uint8_t> samples(static_cast<size_t>(width) * height * components);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < components; ++k)
                samples[(static_cast<size_t>(y) * width + x) * components + k] =
                    static_cast<uint8_t>(20 + 9 * x + 4 * y + 30 * k + ((x * y + k) % 5) * 6);
    return samples;
}

void writeJpegWithApp1(const std::string& path, const std::vector<uint8_t>& samples, int width, int height,
                       int components, const std::vector<std::vector<uint8_t>>& app1Payloads) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    for (const std::vector<uint8_t>& payload : app1Payloads)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, payload.data(), static_cast<unsigned>(payload.size()));
    const size_t rowSamples = static_cast<size_t>(width) * components;
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg's row type is not const, but the compressor only reads the rows.
        JSAMPROW row = const_cast<uint8_t*>(samples.data() + rowSamples * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    ASSERT_EQ(std::fclose(file), 0) << path;
}

}  // namespace vantorra::tagged
