#include "io/jpeg.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "io/input_files.h"
#include "io/jpeg_errors.h"
#include "io/jpeg_markers.h"
#include "io/jpeg_source.h"
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

using jpeg_detail::ErrorManager;
using jpeg_detail::FileHandle;
using jpeg_detail::FileSource;
using jpeg_detail::installErrorManager;
using jpeg_detail::kHeaderBufferBytes;
using jpeg_detail::kSourceBufferBytes;
using jpeg_detail::setError;

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

// Decodes the upright rows first .. first + height - 1 to `sink`, begun; rows below are left
// unread.
void decodeBand(jpeg_decompress_struct& cinfo, int orientation, const UprightMapping& output, bool fourComponent,
                int first, int height, DecodeBuffers& buffers, JpegRowSink& sink) {
    jpeg_start_decompress(&cinfo);
    // A turned row may be longer than a stored one.
    buffers.rgbRow.resize(static_cast<size_t>(std::max(output.uprightWidth(), static_cast<int>(cinfo.output_width))) * 3);
    if (fourComponent) buffers.cmykRow.resize(static_cast<size_t>(cinfo.output_width) * 4);
    if (orientation == 1) {
        streamRows(cinfo, fourComponent, first, height, buffers, sink);
    } else {
        const StoredRegion region = output.regionForRows(first, height);
        decodeRegion(cinfo, fourComponent, region, buffers);
        emitUpright(output, region, first, height, buffers, sink);
    }
    if (cinfo.output_scanline == cinfo.output_height) jpeg_finish_decompress(&cinfo);
    else jpeg_abort_decompress(&cinfo);  // rows left unread on purpose
}

// Whether the scaled decode stays within what any file may cost; if not, why in manager.message.
// Valid once the output dimensions are calculated.
bool withinLimits(jpeg_decompress_struct& cinfo, ErrorManager& manager) {
    const int64_t work = static_cast<int64_t>(cinfo.image_width) * static_cast<int64_t>(cinfo.image_height) *
                         cinfo.num_components;
    if (work >= kMaxDecodeWork) {
        std::snprintf(manager.message, sizeof manager.message,
                      "image of %u x %u pixels is too large to decode (2^30 samples or more)", cinfo.image_width,
                      cinfo.image_height);
        return false;
    }
    if (jpeg_has_multiple_scans(&cinfo) && coefficientBytes(cinfo) > kMaxDecoderMemory) {
        std::snprintf(manager.message, sizeof manager.message,
                      "%s image of %u x %u pixels needs %lld MB for its coefficients, more than the %ld MB its "
                      "decoder may use",
                      cinfo.progressive_mode ? "progressive" : "multi-scan", cinfo.image_width, cinfo.image_height,
                      static_cast<long long>((coefficientBytes(cinfo) + (1 << 20) - 1) >> 20), kMaxDecoderMemory >> 20);
        return false;
    }
    const int64_t samples =
        static_cast<int64_t>(cinfo.output_width) * static_cast<int64_t>(cinfo.output_height) * 3;
    if (samples >= kMaxDecodedSamples) {
        std::snprintf(manager.message, sizeof manager.message,
                      "image of %u x %u pixels is too large (2^30 samples or more)",
                      cinfo.output_width, cinfo.output_height);
        return false;
    }
    return true;
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
    if (!withinLimits(cinfo, manager)) {
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

    decodeBand(cinfo, orientation, output, fourComponent, first, height, buffers, *sink);
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

}  // namespace vantorra
