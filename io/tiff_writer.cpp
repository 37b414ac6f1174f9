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
    std::vector<uint8_t> scratch;  // the row being encoded: the predictor rewrites it in place
};

TiffFileSink::TiffFileSink(std::FILE* file, std::string name, int depth)
    : DepthFileSink(file, std::move(name), depth) {}

// The encoder lets go of the file before the base closes it.
TiffFileSink::~TiffFileSink() = default;

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
    setRowSamples(3 * static_cast<size_t>(width));
    encoder_->scratch.resize(3 * static_cast<size_t>(width) * static_cast<size_t>(depth_ / 8));
    describe(encoder_->handle.get(), width, height, depth_, metadata_);
    return true;
}

bool TiffFileSink::writeRow(const void* row) {
    Encoder& e = *encoder_;
    if (e.row >= e.height) return fail("more rows than the panorama has");
    errno = 0;
    // The horizontal predictor turns the row it is handed into differences, so it is handed a
    // copy: the caller's rows go on to the preview as they were.
    std::memcpy(e.scratch.data(), row, e.scratch.size());
    if (TIFFWriteScanline(e.handle.get(), e.scratch.data(), static_cast<uint32_t>(e.row++), 0) < 0)
        return fail(errno != 0 ? std::strerror(errno) : "the row could not be encoded");
    return true;
}

bool TiffFileSink::ready() { return encoder_ || fail("the panorama was not begun"); }

bool TiffFileSink::finish() {
    if (!encoder_) return fail("the panorama was not begun");
    if (encoder_->row != encoder_->height) return fail("the panorama is missing rows");
    errno = 0;
    if (!TIFFWriteDirectory(encoder_->handle.get())) return fail(errno != 0 ? std::strerror(errno) : "its directory could not be written");
    encoder_.reset();  // closes the TIFF, which flushes what it still buffers
    if (const std::string why = closeFile(); !why.empty()) return fail(why);
    finished_ = true;
    return true;
}

}  // namespace vantorra
