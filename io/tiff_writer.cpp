#include "io/tiff_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "io/tiff_handle.h"

namespace vantorra {

using tiff_detail::TiffHandle;

struct TiffFileSink::Encoder {
    Encoder(std::FILE* file, bool big) : handle(file, big ? "w8" : "w") {}
    TiffHandle handle;
    int width = 0, height = 0, row = 0;
    std::vector<uint16_t> wide;  // an 8-bit row widened for a 16-bit file
};

TiffFileSink::TiffFileSink(std::FILE* file, std::string name, int depth)
    : file_(file), name_(std::move(name)), depth_(depth == 16 ? 16 : 8) {}

TiffFileSink::~TiffFileSink() {
    encoder_.reset();
    if (file_) std::fclose(file_);
}

bool TiffFileSink::fail(const std::string& why) {
    error_ = "can't write " + name_ + ": " + (encoder_ ? encoder_->handle.reason(why) : why);
    encoder_.reset();
    return false;
}

namespace {

void setText(TIFF* tiff, ttag_t tag, const std::string& text) {
    if (!text.empty()) TIFFSetField(tiff, tag, text.c_str());
}

// The baseline tags of the image, its strips and what of the metadata TIFF keeps in tags.
void describe(TIFF* tiff, int width, int height, int depth, const PanoramaMetadata& metadata) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(depth));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(3));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    // Strips of about a megabyte: small enough to stream, large enough to compress well.
    const int64_t rowBytes = int64_t{width} * 3 * (depth / 8);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(std::clamp<int64_t>((1 << 20) / rowBytes, 1, height)));
    if (!metadata.icc.empty())
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(metadata.icc.size()), metadata.icc.data());
    if (!metadata.xmp.empty())
        TIFFSetField(tiff, TIFFTAG_XMLPACKET, static_cast<uint32_t>(metadata.xmp.size()), metadata.xmp.data());
    const PanoramaTags& tags = metadata.tags;
    setText(tiff, TIFFTAG_MAKE, tags.make);
    setText(tiff, TIFFTAG_MODEL, tags.model);
    setText(tiff, TIFFTAG_SOFTWARE, tags.software);
    setText(tiff, TIFFTAG_DATETIME, tags.dateTime);
}

}  // namespace

bool TiffFileSink::begin(int width, int height) {
    if (!file_) return fail("the panorama was begun twice");
    if (width <= 0 || height <= 0) return fail("a panorama of no pixels");
    big_ = needsBigTiff(width, height, depth_, metadata_.icc.size() + metadata_.xmp.size());
    encoder_ = std::make_unique<Encoder>(file_, big_);
    if (!encoder_->handle.valid()) return fail("the TIFF encoder could not start");
    encoder_->width = width;
    encoder_->height = height;
    describe(encoder_->handle.get(), width, height, depth_, metadata_);
    return true;
}

bool TiffFileSink::writeRow(const void* row) {
    Encoder& e = *encoder_;
    if (e.row >= e.height) return fail("more rows than the panorama has");
    errno = 0;
    // libtiff's row type is not const, but the encoder only reads the rows it is given.
    if (TIFFWriteScanline(e.handle.get(), const_cast<void*>(row), static_cast<uint32_t>(e.row++), 0) < 0)
        return fail(errno != 0 ? std::strerror(errno) : "the row could not be encoded");
    return true;
}

bool TiffFileSink::writeRows(const uint8_t* rgb, int count) {
    if (!encoder_) return fail("the panorama was not begun");
    const size_t samples = 3 * static_cast<size_t>(encoder_->width);
    for (int r = 0; r < count; ++r) {
        const uint8_t* row = rgb + samples * static_cast<size_t>(r);
        if (depth_ == 8) {
            if (!writeRow(row)) return false;
            continue;
        }
        encoder_->wide.resize(samples);
        for (size_t i = 0; i < samples; ++i) encoder_->wide[i] = static_cast<uint16_t>(row[i] * 257);
        if (!writeRow(encoder_->wide.data())) return false;
    }
    return true;
}

bool TiffFileSink::writeWideRows(const uint16_t* rgb, int count) {
    if (!encoder_) return fail("the panorama was not begun");
    if (depth_ != 16) return fail("an 8-bit TIFF takes 8-bit rows");
    const size_t samples = 3 * static_cast<size_t>(encoder_->width);
    for (int r = 0; r < count; ++r)
        if (!writeRow(rgb + samples * static_cast<size_t>(r))) return false;
    return true;
}

bool TiffFileSink::finish() {
    if (!encoder_) return fail("the panorama was not begun");
    if (encoder_->row != encoder_->height) return fail("the panorama is missing rows");
    errno = 0;
    if (!TIFFWriteDirectory(encoder_->handle.get())) return fail(errno != 0 ? std::strerror(errno) : "its directory could not be written");
    encoder_.reset();  // closes the TIFF, which flushes what it still buffers
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fflush(file) != 0 || std::ferror(file)) {
        const std::string why = std::strerror(errno);
        std::fclose(file);
        return fail(why);
    }
    if (std::fclose(file) != 0) return fail(std::strerror(errno));
    finished_ = true;
    return true;
}

}  // namespace vantorra
