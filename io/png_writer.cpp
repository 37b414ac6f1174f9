#include "io/png_writer.h"

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

namespace vantorra {

// libpng reports errors by longjmp: its state lives here, and the frames that set the jump point
// hold no objects that need destroying.
struct PngFileSink::Encoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[256] = "";
    int width = 0, height = 0, row = 0;
    std::vector<uint8_t> bytes;  // a row in the file's byte order
    ~Encoder() { png_destroy_write_struct(&png, &info); }
};

namespace {

[[noreturn]] void onError(png_structp png, png_const_charp text) {
    auto* message = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(message, 256, "%s", text);
    std::longjmp(png_jmpbuf(png), 1);
}

void onWarning(png_structp, png_const_charp) {}

// The metadata chunks, before the image data. A profile libpng finds unusable is left out
// rather than failing the panorama.
void addMetadata(png_structp png, png_infop info, const PanoramaMetadata& metadata, std::vector<uint8_t>& exif) {
    if (!metadata.icc.empty()) {
        png_set_benign_errors(png, 1);
        png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, metadata.icc.data(),
                     static_cast<png_uint_32>(metadata.icc.size()));
    }
#ifdef PNG_eXIf_SUPPORTED
    if (!metadata.exif.empty()) {
        exif = metadata.exif;  // libpng's setter takes a non-const pointer
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(exif.size()), exif.data());
    }
#endif
    if (!metadata.xmp.empty()) {
        png_text text{};
        text.compression = PNG_ITXT_COMPRESSION_NONE;
        text.key = const_cast<char*>("XML:com.adobe.xmp");
        text.text = const_cast<char*>(metadata.xmp.c_str());
        text.itxt_length = metadata.xmp.size();
        text.lang = const_cast<char*>("");
        text.lang_key = const_cast<char*>("");
        png_set_text(png, info, &text, 1);
    }
}

// PNG stores 16-bit samples big-endian: the words of a row into `bytes` (twice their count).
png_const_bytep bigEndian(const uint16_t* words, std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size() / 2; ++i) {
        bytes[2 * i] = static_cast<uint8_t>(words[i] >> 8);
        bytes[2 * i + 1] = static_cast<uint8_t>(words[i] & 0xFF);
    }
    return bytes.data();
}

}  // namespace

PngFileSink::PngFileSink(std::FILE* file, std::string name, int depth)
    : DepthFileSink(file, std::move(name), depth) {}

// The encoder lets go of the file before the base closes it.
PngFileSink::~PngFileSink() = default;

bool PngFileSink::fail() {
    const std::string why = errno != 0 ? std::strerror(errno) : (encoder_ && encoder_->message[0] ? encoder_->message : "the encoder failed");
    error_ = "can't write " + name_ + ": " + why;
    encoder_.reset();
    return false;
}

bool PngFileSink::begin(int width, int height) {
    errno = 0;
    if (!file_ || width <= 0 || height <= 0) return fail();
    encoder_ = std::make_unique<Encoder>();
    Encoder& e = *encoder_;
    e.width = width;
    e.height = height;
    e.bytes.resize(static_cast<size_t>(width) * 3 * (depth_ / 8));
    setRowSamples(3 * static_cast<size_t>(width));
    e.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, e.message, onError, onWarning);
    if (!e.png || !(e.info = png_create_info_struct(e.png))) return fail();
    std::vector<uint8_t> exif;
    if (setjmp(png_jmpbuf(e.png))) return fail();
    png_init_io(e.png, file_);
    // Deflate at a middle level: most of the gain of the highest at a fraction of its time.
    png_set_compression_level(e.png, 6);
    png_set_IHDR(e.png, e.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), depth_,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    addMetadata(e.png, e.info, metadata_, exif);
    png_write_info(e.png, e.info);
    return true;
}

bool PngFileSink::ready() { return encoder_ || fail(); }

bool PngFileSink::writeRow(const void* row) {
    Encoder& e = *encoder_;
    if (e.row >= e.height) {
        std::snprintf(e.message, sizeof e.message, "more rows than the panorama has");
        return fail();
    }
    return encodeRow(depth_ == 16 ? bigEndian(static_cast<const uint16_t*>(row), e.bytes)
                                  : static_cast<png_const_bytep>(row));
}

// The frame that sets the jump point holds nothing a longjmp could leave stale.
bool PngFileSink::encodeRow(png_const_bytep data) {
    Encoder& e = *encoder_;
    errno = 0;
    if (setjmp(png_jmpbuf(e.png))) return fail();
    png_write_row(e.png, data);
    ++e.row;
    return true;
}

bool PngFileSink::finish() {
    if (!encoder_) return fail();
    Encoder& e = *encoder_;
    errno = 0;
    if (e.row != e.height) {
        std::snprintf(e.message, sizeof e.message, "the panorama is missing rows");
        return fail();
    }
    if (setjmp(png_jmpbuf(e.png))) return fail();
    png_write_end(e.png, e.info);
    encoder_.reset();
    if (const std::string why = closeFile(); !why.empty()) {
        error_ = "can't write " + name_ + ": " + why;
        return false;
    }
    finished_ = true;
    return true;
}

}  // namespace vantorra
