#include "io/jpeg.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "io/jpeg_errors.h"
#include "io/panorama_sink.h"
#include "options/option_ranges.h"

namespace vantorra {
namespace {

using jpeg_detail::ErrorManager;
using jpeg_detail::FileHandle;
using jpeg_detail::installErrorManager;
using jpeg_detail::openFailure;
using jpeg_detail::setError;

bool encode(FILE* file, ErrorManager& manager, const uint8_t* pixels, int width, int height,
            int quality) {
    jpeg_compress_struct cinfo;
    cinfo.err = &manager.pub;
    if (setjmp(manager.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        // libjpeg's row type is not const, but the compressor only reads the rows.
        JSAMPROW row = const_cast<uint8_t*>(pixels + rowBytes * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// A name beside the target, so the final rename stays within one file system.
std::string temporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".part" + std::to_string(static_cast<long>(getpid())) + "-" +
           std::to_string(counter++);
}

}  // namespace

// The image goes to a temporary file that replaces `path` only once it is complete, so a full
// disk or a coding error never leaves a truncated panorama in place of an earlier one.
bool writeJpeg(const std::string& path, const uint8_t* pixels, int width, int height, int quality,
               std::string* error) {
    if (width <= 0 || height <= 0 || !pixels) {
        setError(error, "can't write " + path + ": nothing to write (empty image)");
        return false;
    }
    if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) {
        const int savedErrno = errno;
        setError(error, openFailure(path, savedErrno));
        return false;
    }
    const std::string temporary = temporaryNameFor(path);
    const int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    FileHandle file(descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr);
    if (!file.get()) {
        const int savedErrno = errno;
        if (descriptor >= 0) {
            close(descriptor);
            unlink(temporary.c_str());
        }
        setError(error, openFailure(path, savedErrno));
        return false;
    }
    ErrorManager manager;
    installErrorManager(manager);
    if (!encode(file.get(), manager, pixels, width, height, quality)) {
        file.close();
        unlink(temporary.c_str());
        setError(error, "can't write " + path + ": " + manager.message);
        return false;
    }
    if (!file.close()) {
        const int savedErrno = errno;
        unlink(temporary.c_str());
        setError(error, "can't write " + path + ": " + std::strerror(savedErrno));
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int savedErrno = errno;
        unlink(temporary.c_str());
        setError(error, openFailure(path, savedErrno));
        return false;
    }
    return true;
}

// The metadata in the markers its readers look for: EXIF and XMP in APP1, the profile in APP2
// (split as the ICC convention asks). A block too long for one marker is left out.
void writeMetadataMarkers(jpeg_compress_struct& cinfo, const PanoramaMetadata& metadata) {
    constexpr size_t kMarkerBytes = 65533;
    static const char kExif[] = "Exif\0";  // with the literal's own terminator, "Exif\0\0"
    static const char kXmp[] = "http://ns.adobe.com/xap/1.0/";  // and its terminator
    if (!metadata.exif.empty() && metadata.exif.size() + sizeof kExif <= kMarkerBytes) {
        std::vector<uint8_t> payload(kExif, kExif + sizeof kExif);
        payload.insert(payload.end(), metadata.exif.begin(), metadata.exif.end());
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, payload.data(), static_cast<unsigned>(payload.size()));
    }
    if (!metadata.xmp.empty() && metadata.xmp.size() + sizeof kXmp <= kMarkerBytes) {
        std::vector<uint8_t> payload(kXmp, kXmp + sizeof kXmp);
        payload.insert(payload.end(), metadata.xmp.begin(), metadata.xmp.end());
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, payload.data(), static_cast<unsigned>(payload.size()));
    }
    if (!metadata.icc.empty())
        jpeg_write_icc_profile(&cinfo, metadata.icc.data(), static_cast<unsigned>(metadata.icc.size()));
}

// The streaming encoder of JpegFileSink. Every libjpeg call is made from a frame that has set
// the jump point itself, so an error never jumps into a frame that has returned.
struct JpegFileSink::Encoder {
    jpeg_compress_struct cinfo{};
    ErrorManager manager{};
    FILE* file = nullptr;
    bool created = false;  // jpeg_create_compress has run
    bool given = false;    // the file was handed over: the caller removes it
    int width = 0;
};

JpegFileSink::JpegFileSink(std::string path, int quality) : path_(std::move(path)), quality_(quality) {}

JpegFileSink::JpegFileSink(std::FILE* file, std::string name, int quality)
    : path_(std::move(name)), quality_(quality), given_(file) {}

JpegFileSink::~JpegFileSink() {
    if (!finished_) abandon();
    if (given_ != nullptr) std::fclose(given_);  // never begun
}

void JpegFileSink::abandon() {
    if (!encoder_) return;
    if (encoder_->created) jpeg_destroy_compress(&encoder_->cinfo);
    if (encoder_->file != nullptr) {
        std::fclose(encoder_->file);
        if (!encoder_->given) std::remove(path_.c_str());
    }
    encoder_.reset();
}

bool JpegFileSink::begin(int width, int height) {
    abandon();
    if (width <= 0 || height <= 0 || width > kMaxPanoramaSide || height > kMaxPanoramaSide) {
        error_ = "can't write " + path_ + ": a JPEG holds at most " + std::to_string(kMaxPanoramaSide) +
                 " pixels a side, not " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    encoder_ = std::make_unique<Encoder>();
    Encoder& e = *encoder_;
    e.given = given_ != nullptr;
    e.file = e.given ? given_ : std::fopen(path_.c_str(), "wb");
    given_ = nullptr;
    if (e.file == nullptr) {
        error_ = openFailure(path_, errno);
        encoder_.reset();
        return false;
    }
    e.width = width;
    e.cinfo.err = &e.manager.pub;
    installErrorManager(e.manager);
    if (setjmp(e.manager.jump)) {
        error_ = "can't write " + path_ + ": " + e.manager.message;
        abandon();
        return false;
    }
    jpeg_create_compress(&e.cinfo);
    e.created = true;
    jpeg_stdio_dest(&e.cinfo, e.file);
    e.cinfo.image_width = static_cast<JDIMENSION>(width);
    e.cinfo.image_height = static_cast<JDIMENSION>(height);
    e.cinfo.input_components = 3;
    e.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&e.cinfo);
    jpeg_set_quality(&e.cinfo, quality_, TRUE);
    jpeg_start_compress(&e.cinfo, TRUE);
    writeMetadataMarkers(e.cinfo, metadata_);
    return true;
}

bool JpegFileSink::begun() {
    if (encoder_) return true;
    if (error_.empty()) error_ = "can't write " + path_ + ": the panorama was not begun";
    return false;
}

bool JpegFileSink::failed() {
    // The library's "Output file write error" says less than the system's reason.
    error_ = "can't write " + path_ + ": " + (errno != 0 ? std::strerror(errno) : encoder_->manager.message);
    abandon();
    return false;
}

bool JpegFileSink::writeRows(const uint8_t* rgb, int count) {
    if (!begun()) return false;
    Encoder& e = *encoder_;
    errno = 0;
    if (setjmp(e.manager.jump)) return failed();
    const size_t rowBytes = static_cast<size_t>(e.width) * 3;
    for (int r = 0; r < count; ++r) {
        // libjpeg's row type is not const, but the compressor only reads the rows.
        JSAMPROW row = const_cast<uint8_t*>(rgb + rowBytes * static_cast<size_t>(r));
        jpeg_write_scanlines(&e.cinfo, &row, 1);
    }
    return true;
}

bool JpegFileSink::finish() {
    if (!begun()) return false;
    Encoder& e = *encoder_;
    errno = 0;
    if (setjmp(e.manager.jump)) return failed();
    jpeg_finish_compress(&e.cinfo);
    jpeg_destroy_compress(&e.cinfo);
    e.created = false;
    const bool closed = std::fclose(e.file) == 0;
    e.file = nullptr;
    if (!closed) {
        error_ = "can't write " + path_ + ": " + std::strerror(errno);
        if (!e.given) std::remove(path_.c_str());
        encoder_.reset();
        return false;
    }
    encoder_.reset();
    finished_ = true;
    return true;
}

bool writeJpegToFile(std::FILE* file, const uint8_t* pixels, int width, int height, int quality,
                     std::string* error) {
    if (width <= 0 || height <= 0 || !pixels) {
        setError(error, "nothing to write (empty image)");
        return false;
    }
    ErrorManager manager;
    installErrorManager(manager);
    errno = 0;
    if (!encode(file, manager, pixels, width, height, quality)) {
        // The library's "Output file write error" says less than the system's reason.
        setError(error, errno != 0 ? std::strerror(errno) : manager.message);
        return false;
    }
    return true;
}

}  // namespace vantorra
