#include "io/jpeg.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "options/option_ranges.h"
#include "io/input_files.h"
#include "io/jpeg_markers.h"
#include "io/panorama_sink.h"
#include "io/upright.h"

namespace vantorra {
namespace {

constexpr int64_t kMaxDecodedSamples = int64_t{1} << 30;
// libjpeg's own buffers (a progressive file holds every coefficient of the image while it is
// read) are allocated from the header's size before any data is read, so they are capped: a
// forged header must not cost more than this before the file is found to be short. It is half
// the default memory budget; a file that needs more is refused from its header
// (coefficientBytes) with both sizes.
constexpr long kMaxDecoderMemory = 128L << 20;
// Decoding work follows the full size whatever the scaling asked for, and a file may claim a huge
// size yet hold no data: the arithmetic decoder feeds zeros past the end of a scan without any
// warning (its encoders may drop trailing zeros), so such a file would be decoded in full.
// Beyond this many samples (about 360 megapixels in colour, more than any camera makes) a file
// is refused before decoding: a forged file at the limit still costs seconds of decoding, twice
// that when its orientation asks for a turn.
constexpr int64_t kMaxDecodeWork = int64_t{1} << 30;

// libjpeg reports a fatal error by calling error_exit, which must not return. Ours records the
// library's message and jumps back to the routine that started the call, so a corrupt file
// becomes a false result instead of the end of the process.
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    longjmp(manager->jump, 1);
}

// Warnings (recoverable corruption) are not printed: a library must not write to the user's
// terminal. A premature end of the file or of a data segment is promoted to an error, because
// the library would otherwise hand back an image whose missing part is filled with grey (and a
// header claiming a huge size followed by nothing would be decoded in full).
void emitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        const int code = cinfo->err->msg_code;
        if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) errorExit(cinfo);
        cinfo->err->num_warnings++;
    }
}

void outputMessage(j_common_ptr) {}

void installErrorManager(ErrorManager& manager) {
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = errorExit;
    manager.pub.emit_message = emitMessage;
    manager.pub.output_message = outputMessage;
    manager.message[0] = '\0';
}

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::string openFailure(const std::string& path, int savedErrno) {
    return kOpenVerb + path + ": " + std::strerror(savedErrno);
}

// Owns the FILE for the length of one call.
class FileHandle {
public:
    explicit FileHandle(FILE* file) : file_(file) {}
    ~FileHandle() {
        if (file_) std::fclose(file_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FILE* get() const { return file_; }
    // Closes now and reports whether everything buffered reached the file.
    bool close() {
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

private:
    FILE* file_;
};

// Adobe's CMYK files store inverted samples (0 = full ink), which is what libjpeg delivers when
// the Adobe marker is present; plain CMYK stores ink amounts directly.
void cmykRowToRgb(const uint8_t* cmyk, uint8_t* rgb, int width, bool inverted) {
    for (int x = 0; x < width; ++x) {
        int c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        rgb[3 * x] = static_cast<uint8_t>((c * k + 127) / 255);
        rgb[3 * x + 1] = static_cast<uint8_t>((m * k + 127) / 255);
        rgb[3 * x + 2] = static_cast<uint8_t>((y * k + 127) / 255);
    }
}

// The rows the decoder works in, and for a photograph not stored upright the stored block it is
// gathered in and the upright rows built from it. They belong to the caller's frame so that a longjmp out of the library frees them.
struct DecodeBuffers {
    std::vector<uint8_t> exif;  // the first APP1 segment that holds an EXIF block
    std::vector<uint8_t> cmykRow, rgbRow;
    std::vector<uint8_t> stored, upright;
    std::vector<JOCTET> compressed;  // the file source's buffer
};

// The compressed data read from the file 64 KiB at a time. The decoder takes its fast Huffman
// path only while a few kilobytes are buffered ahead (512 bytes per block of a unit), which the
// standard 4 KiB buffer of a file source gives only a quarter of the time; the data, the
// warnings and the errors are those of the standard file source.
constexpr size_t kSourceBufferBytes = size_t{64} << 10;
constexpr size_t kHeaderBufferBytes = size_t{4} << 10;

struct FileSource {
    jpeg_source_mgr pub;
    FILE* file;
    JOCTET* buffer;
    size_t capacity;
    bool startOfFile;
};

void initSource(j_decompress_ptr cinfo) { reinterpret_cast<FileSource*>(cinfo->src)->startOfFile = true; }

// A read of a cancelled run gives up here, at its next block of data, however large the file.
[[noreturn]] void stopCancelled(j_decompress_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    manager->pub.msg_code = 0;
    std::snprintf(manager->message, sizeof manager->message, "the read was cancelled");
    longjmp(manager->jump, 1);
}

boolean fillInputBuffer(j_decompress_ptr cinfo) {
    if (InputWatch::readCancelled()) stopCancelled(cinfo);
    auto* source = reinterpret_cast<FileSource*>(cinfo->src);
    size_t bytes = std::fread(source->buffer, 1, source->capacity, source->file);
    if (bytes == 0) {
        if (source->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        // An end-of-image marker ends the data, as the standard file source does.
        source->buffer[0] = static_cast<JOCTET>(0xFF);
        source->buffer[1] = static_cast<JOCTET>(JPEG_EOI);
        bytes = 2;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = bytes;
    source->startOfFile = false;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* source = cinfo->src;
    if (count <= 0) return;
    while (count > static_cast<long>(source->bytes_in_buffer)) {
        count -= static_cast<long>(source->bytes_in_buffer);
        (void)(*source->fill_input_buffer)(cinfo);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

void termSource(j_decompress_ptr) {}

// `source` and `buffer` (at least 2 bytes) belong to the caller and outlive the decoder.
void useFileSource(jpeg_decompress_struct& cinfo, FileSource& source, FILE* file, std::vector<JOCTET>& buffer) {
    source.pub.init_source = initSource;
    source.pub.fill_input_buffer = fillInputBuffer;
    source.pub.skip_input_data = skipInputData;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = termSource;
    source.pub.bytes_in_buffer = 0;
    source.pub.next_input_byte = nullptr;
    source.file = file;
    source.buffer = buffer.data();
    source.capacity = buffer.size();
    source.startOfFile = true;
    cinfo.src = &source.pub;
}

// The facts of the first APP1 segment that holds an EXIF block (kept while the header was read).
ExifFacts exifFacts(const jpeg_decompress_struct& cinfo, const std::vector<uint8_t>& exif) {
    if (exif.empty()) return {};
    return readExifFacts(exif.data(), exif.size(), static_cast<int>(cinfo.image_width),
                         static_cast<int>(cinfo.image_height));
}

// Decodes the next stored row as RGB into buffers.rgbRow.
void readRgbRow(jpeg_decompress_struct& cinfo, bool fourComponent, DecodeBuffers& buffers) {
    JSAMPROW row = fourComponent ? buffers.cmykRow.data() : buffers.rgbRow.data();
    jpeg_read_scanlines(&cinfo, &row, 1);
    if (fourComponent)
        cmykRowToRgb(buffers.cmykRow.data(), buffers.rgbRow.data(), static_cast<int>(cinfo.output_width),
                     cinfo.saw_Adobe_marker);
}

// A photograph stored upright: each row goes to the sink as it is decoded.
void streamRows(jpeg_decompress_struct& cinfo, bool fourComponent, int first, int height,
                DecodeBuffers& buffers, JpegRowSink& sink) {
    if (first > 0) jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(first));
    const int end = first + height;
    while (static_cast<int>(cinfo.output_scanline) < end) {
        const int index = static_cast<int>(cinfo.output_scanline);
        readRgbRow(cinfo, fourComponent, buffers);
        sink.row(index - first, buffers.rgbRow.data());
    }
}

// Gathers the stored block into buffers.stored, 3 bytes a pixel, grown as rows arrive.
void decodeRegion(jpeg_decompress_struct& cinfo, bool fourComponent, const StoredRegion& region,
                  DecodeBuffers& buffers) {
    buffers.stored.clear();
    if (region.rows <= 0 || region.columns <= 0) return;
    const size_t rowBytes = static_cast<size_t>(region.columns) * 3;
    if (region.firstRow > 0) jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(region.firstRow));
    const int end = region.firstRow + region.rows;
    while (static_cast<int>(cinfo.output_scanline) < end) {
        readRgbRow(cinfo, fourComponent, buffers);
        reserveNextRow(buffers.stored, rowBytes, region.rows);
        const uint8_t* from = buffers.rgbRow.data() + static_cast<size_t>(region.firstColumn) * 3;
        buffers.stored.insert(buffers.stored.end(), from, from + rowBytes);
    }
}

// Hands the sink the upright rows first .. first + height - 1 from the gathered block. The
// stored position of an upright pixel moves by fixed steps along x and y. When the sides swap,
// an upright row runs down a stored column, so rows are built kTurnedRows at a time with the
// inner loop along a stored row: each stored cache line is read once, not once per row.
void emitUpright(const UprightMapping& mapping, const StoredRegion& region, int first, int height,
                 DecodeBuffers& buffers, JpegRowSink& sink) {
    constexpr int kTurnedRows = 16;
    const auto offset = [&](int x, int y) {
        int column = 0, row = 0;
        mapping.storedPixel(x, y, column, row);
        return (static_cast<ptrdiff_t>(row - region.firstRow) * region.columns + (column - region.firstColumn)) * 3;
    };
    const ptrdiff_t origin = offset(0, first);
    const ptrdiff_t alongX = offset(1, first) - origin, alongY = offset(0, first + 1) - origin;
    const int width = mapping.uprightWidth();
    const int group = mapping.swapsSides() ? kTurnedRows : 1;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    buffers.upright.resize(rowBytes * static_cast<size_t>(group));
    const uint8_t* from = buffers.stored.data();
    uint8_t* to = buffers.upright.data();
    for (int top = 0; top < height; top += group) {
        const int rows = std::min(group, height - top);
        for (int x = 0; x < width; ++x) {
            const ptrdiff_t at = origin + alongX * x + alongY * top;
            for (int j = 0; j < rows; ++j) {
                const uint8_t* pixel = from + at + alongY * j;
                uint8_t* out = to + rowBytes * static_cast<size_t>(j) + 3 * static_cast<size_t>(x);
                out[0] = pixel[0];
                out[1] = pixel[1];
                out[2] = pixel[2];
            }
        }
        for (int j = 0; j < rows; ++j) sink.row(top + j, to + rowBytes * static_cast<size_t>(j));
    }
}

// A file of several scans (every progressive one) holds all its coefficients while it is read,
// at any output scale: 64 of them per 8 x 8 block, each component's blocks padded to its
// sampling factors as the decoder pads them. Valid once the header has been read.
int64_t coefficientBytes(const jpeg_decompress_struct& cinfo) {
    int64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& component = cinfo.comp_info[c];
        const int64_t across = (component.width_in_blocks + component.h_samp_factor - 1) /
                               component.h_samp_factor * component.h_samp_factor;
        const int64_t down = (component.height_in_blocks + component.v_samp_factor - 1) /
                             component.v_samp_factor * component.v_samp_factor;
        blocks += across * down;
    }
    return blocks * DCTSIZE2 * static_cast<int64_t>(sizeof(JCOEF));
}

// Decodes from an open file, handing the upright rows to `sink` one at a time. Everything that
// must outlive a longjmp (the sink's storage, the decoding buffers) belongs to the caller's
// frame; nothing with a destructor lives between setjmp and the library's frames. Returns false
// with the reason in manager.message.
bool decode(FILE* file, ErrorManager& manager, JpegRowSink* sink, DecodeBuffers& buffers, JpegHeader& header,
            int scaleDenom, int firstRow, int rowCount) {
    jpeg_decompress_struct cinfo;
    cinfo.err = &manager.pub;
    if (setjmp(manager.jump)) {
        // The library's own words for its memory cap ("Backing store not supported") say nothing.
        if (manager.pub.msg_code == JERR_NO_BACKING_STORE)
            std::snprintf(manager.message, sizeof manager.message,
                          "image of %u x %u pixels needs more than %ld MB to decode", cinfo.image_width,
                          cinfo.image_height, kMaxDecoderMemory >> 20);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    FileSource source;
    useFileSource(cinfo, source, file, buffers.compressed);
    keepFirstExifSegment(cinfo, buffers.exif);
    jpeg_read_header(&cinfo, TRUE);
    header.exif = exifFacts(cinfo, buffers.exif);
    const int orientation = header.exif.orientation;
    const UprightMapping full(orientation, static_cast<int>(cinfo.image_width),
                              static_cast<int>(cinfo.image_height));
    header.width = full.uprightWidth();
    header.height = full.uprightHeight();
    header.components = cinfo.num_components;
    if (!sink) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

    const bool fourComponent =
        cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = fourComponent ? JCS_CMYK : JCS_RGB;
    // The decoder's own scaling: 1/2, 1/4 or 1/8 of the size straight from the coefficients.
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(scaleDenom);
    jpeg_calc_output_dimensions(&cinfo);
    const int64_t work = static_cast<int64_t>(cinfo.image_width) * static_cast<int64_t>(cinfo.image_height) *
                         cinfo.num_components;
    if (work >= kMaxDecodeWork) {
        std::snprintf(manager.message, sizeof manager.message,
                      "image of %u x %u pixels is too large to decode (2^30 samples or more)", cinfo.image_width,
                      cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (jpeg_has_multiple_scans(&cinfo) && coefficientBytes(cinfo) > kMaxDecoderMemory) {
        std::snprintf(manager.message, sizeof manager.message,
                      "%s image of %u x %u pixels needs %lld MB for its coefficients, more than the %ld MB its "
                      "decoder may use",
                      cinfo.progressive_mode ? "progressive" : "multi-scan", cinfo.image_width, cinfo.image_height,
                      static_cast<long long>((coefficientBytes(cinfo) + (1 << 20) - 1) >> 20), kMaxDecoderMemory >> 20);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const int64_t samples =
        static_cast<int64_t>(cinfo.output_width) * static_cast<int64_t>(cinfo.output_height) * 3;
    if (samples >= kMaxDecodedSamples) {
        std::snprintf(manager.message, sizeof manager.message,
                      "image of %u x %u pixels is too large (2^30 samples or more)",
                      cinfo.output_width, cinfo.output_height);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const UprightMapping output(orientation, static_cast<int>(cinfo.output_width),
                                static_cast<int>(cinfo.output_height));
    const int width = output.uprightWidth();
    const int fullHeight = output.uprightHeight();
    // A band of rows: the rows above it are skipped, the ones below never decoded.
    const int first = std::clamp(firstRow, 0, fullHeight);
    const int height = rowCount < 0 ? fullHeight - first : std::min(rowCount, fullHeight - first);
    if (!sink->begin(width, height)) {
        std::snprintf(manager.message, sizeof manager.message,
                      "image of %d x %d pixels cannot be held in memory", width, fullHeight);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }

    jpeg_start_decompress(&cinfo);
    // A turned row may be longer than a stored one.
    buffers.rgbRow.resize(static_cast<size_t>(std::max(width, static_cast<int>(cinfo.output_width))) * 3);
    if (fourComponent) buffers.cmykRow.resize(static_cast<size_t>(cinfo.output_width) * 4);
    if (orientation == 1) {
        streamRows(cinfo, fourComponent, first, height, buffers, *sink);
    } else {
        const StoredRegion region = output.regionForRows(first, height);
        decodeRegion(cinfo, fourComponent, region, buffers);
        emitUpright(output, region, first, height, buffers, *sink);
    }
    if (cinfo.output_scanline == cinfo.output_height) jpeg_finish_decompress(&cinfo);
    else jpeg_abort_decompress(&cinfo);  // rows left unread on purpose
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Collects the rows into one byte buffer, 3 bytes per pixel, grown as rows arrive.
class ByteSink : public JpegRowSink {
public:
    explicit ByteSink(std::vector<uint8_t>& pixels) : pixels_(pixels) {}
    bool begin(int width, int height) override {
        rowBytes_ = static_cast<size_t>(width) * 3;
        height_ = height;
        pixels_.clear();
        return true;
    }
    void row(int, const uint8_t* rgb) override {
        reserveNextRow(pixels_, rowBytes_, height_);
        pixels_.insert(pixels_.end(), rgb, rgb + rowBytes_);
    }

private:
    std::vector<uint8_t>& pixels_;
    size_t rowBytes_ = 0;
    int height_ = 0;
};

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

bool readCommon(const std::string& path, JpegRowSink* sink, JpegHeader& header,
                std::string* error, int scaleDenom = 1, int firstRow = 0, int rowCount = -1) {
    FileHandle file(openInputFile(path, error));
    if (!file.get()) return false;
    if (std::string changed = checkUnchanged(path, file.get()); !changed.empty()) {
        setError(error, changed);
        return false;
    }
    ErrorManager manager;
    installErrorManager(manager);
    DecodeBuffers buffers;
    // A header alone needs only the start of the file.
    buffers.compressed.resize(sink != nullptr ? kSourceBufferBytes : kHeaderBufferBytes);
    const bool decoded = decode(file.get(), manager, sink, buffers, header, scaleDenom, firstRow, rowCount);
    // A file cut short or rewritten while it was read says so, rather than what its decoder saw.
    if (std::string changed = checkUnchanged(path, file.get()); !changed.empty()) {
        setError(error, changed);
        return false;
    }
    if (!decoded) {
        setError(error, path + ": " + manager.message);
        return false;
    }
    return true;
}

// A name beside the target, so the final rename stays within one file system.
std::string temporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".part" + std::to_string(static_cast<long>(getpid())) + "-" +
           std::to_string(counter++);
}

}  // namespace

std::string readFailureReason(const std::string& error) {
    const std::string verb = kOpenVerb;
    return error.rfind(verb, 0) == 0 ? error.substr(verb.size()) : error;
}

bool readJpegHeader(const std::string& path, JpegHeader& header, std::string* error) {
    header = JpegHeader{};
    return readCommon(path, nullptr, header, error);
}

bool readJpegRows(const std::string& path, JpegRowSink& sink, std::string* error) {
    JpegHeader header;
    return readCommon(path, &sink, header, error);
}

bool readJpegRowsScaled(const std::string& path, int scaleDenom, JpegRowSink& sink,
                        std::string* error, int firstRow, int rowCount) {
    if (scaleDenom != 1 && scaleDenom != 2 && scaleDenom != 4 && scaleDenom != 8) {
        setError(error, path + ": unsupported decoding scale 1/" + std::to_string(scaleDenom));
        return false;
    }
    JpegHeader header;
    return readCommon(path, &sink, header, error, scaleDenom, firstRow, rowCount);
}

bool readJpeg(const std::string& path, std::vector<uint8_t>& pixels, int& width, int& height,
              std::string* error) {
    JpegHeader header;
    ByteSink sink(pixels);
    if (readCommon(path, &sink, header, error)) {
        width = header.width;
        height = header.height;
        return true;
    }
    pixels.clear();
    pixels.shrink_to_fit();
    width = 0;
    height = 0;
    return false;
}

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
