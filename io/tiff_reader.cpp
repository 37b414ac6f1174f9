#include "io/tiff_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "io/tiff_handle.h"

namespace vantorra {
namespace {

using tiff_detail::TiffHandle;

// How the first image of a file is stored, as far as reading it needs.
struct Layout {
    uint32_t width = 0, height = 0;
    uint16_t bits = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG;
    int colours = 1;       // colour samples a pixel as stored: 1 grey or palette index, 3 colour
    int alphaSample = -1;  // the sample that holds alpha, -1 none
    bool premultiplied = false;
    bool tiled = false;
    uint32_t bandRows = 1, tileWidth = 0;  // rows a strip or a tile holds; a tile's width
    const uint16_t* palette[3] = {nullptr, nullptr, nullptr};
};

bool readColours(TIFF* tiff, Layout& layout, std::string& why) {
    switch (layout.photometric) {
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE: layout.colours = 1; return true;
        case PHOTOMETRIC_RGB: layout.colours = 3; return true;
        case PHOTOMETRIC_PALETTE:
            layout.colours = 1;
            if (layout.bits == 8 && TIFFGetField(tiff, TIFFTAG_COLORMAP, &layout.palette[0], &layout.palette[1],
                                                 &layout.palette[2]))
                return true;
            why = "a palette image without an 8-bit colour map";
            return false;
        case PHOTOMETRIC_YCBCR: {
            uint16_t compression = COMPRESSION_NONE;
            TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
            if (compression == COMPRESSION_JPEG && TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) {
                layout.colours = 3;
                layout.photometric = PHOTOMETRIC_RGB;
                return true;
            }
            why = "YCbCr samples outside JPEG compression are not supported";
            return false;
        }
        default: why = "colour space " + std::to_string(layout.photometric) + " is not supported"; return false;
    }
}

void readAlpha(TIFF* tiff, Layout& layout) {
    uint16_t count = 0;
    const uint16_t* kinds = nullptr;
    if (layout.samples <= layout.colours || !TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds)) return;
    if (count == 0 || !kinds) return;
    if (kinds[0] != EXTRASAMPLE_ASSOCALPHA && kinds[0] != EXTRASAMPLE_UNASSALPHA) return;
    layout.alphaSample = layout.colours;
    layout.premultiplied = kinds[0] == EXTRASAMPLE_ASSOCALPHA;
}

bool readLayout(TIFF* tiff, Layout& layout, std::string& why) {
    uint16_t format = SAMPLEFORMAT_UINT;
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout.width) || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout.height) ||
        layout.width == 0 || layout.height == 0 || layout.width > (1u << 20) || layout.height > (1u << 20)) {
        why = "no usable image size";
        return false;
    }
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &layout.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &layout.samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &layout.planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &layout.photometric))
        layout.photometric = layout.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (layout.bits != 8 && layout.bits != 16) {
        why = std::to_string(layout.bits) + "-bit samples are not supported (8 or 16)";
        return false;
    }
    if (format != SAMPLEFORMAT_UINT) {
        why = "only unsigned integer samples are supported";
        return false;
    }
    if (!readColours(tiff, layout, why)) return false;
    if (layout.samples < layout.colours || layout.samples > 8) {
        why = std::to_string(layout.samples) + " samples a pixel do not fit the colour space";
        return false;
    }
    readAlpha(tiff, layout);
    layout.tiled = TIFFIsTiled(tiff);
    if (layout.tiled) {
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &layout.tileWidth);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &layout.bandRows);
        if (layout.tileWidth == 0 || layout.bandRows == 0) {
            why = "tiles of no size";
            return false;
        }
    } else {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &layout.bandRows);
    }
    layout.bandRows = std::clamp<uint32_t>(layout.bandRows, 1, layout.height);
    return true;
}

ExifFacts exifOf(TIFF* tiff) {
    ExifFacts exif;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    if (orientation >= 1 && orientation <= 8) exif.orientation = orientation;
    else exif.ignored = "orientation " + std::to_string(orientation) + " is not one of 1..8";
    toff_t offset = 0;
    if (!TIFFGetField(tiff, TIFFTAG_EXIFIFD, &offset) || !TIFFReadEXIFDirectory(tiff, offset)) return exif;
    uint16_t focal35 = 0;
    // 0 means unknown by definition.
    if (TIFFGetField(tiff, EXIFTAG_FOCALLENGTHIN35MMFILM, &focal35) && focal35 > 0) {
        if (plausibleFocal35mm(focal35)) exif.focal35mm = focal35;
        else exif.ignored = "35-mm focal length " + std::to_string(focal35) + " mm is implausible";
    }
    return exif;
}

}  // namespace

namespace {

// The rows of the first image, read a strip or a row of tiles (a band) at a time.
class TiffRows : public StoredRows {
public:
    explicit TiffRows(std::FILE* file) : handle_(file) {}

    bool open(std::string& error) {
        if (!handle_.valid() || !readLayout(handle_.get(), layout_, error)) {
            if (error.empty()) error = handle_.reason("not a TIFF file");
            return false;
        }
        bytes_ = layout_.bits / 8;
        const size_t bandBytes = size_t{layout_.width} * layout_.bandRows * layout_.samples * bytes_;
        const tmsize_t chunk = layout_.tiled ? TIFFTileSize(handle_.get()) : TIFFStripSize(handle_.get());
        if (chunk <= 0 || bandBytes >= (size_t{1} << 31)) {
            error = handle_.reason("strips or tiles too large");
            return false;
        }
        band_.resize(bandBytes);
        // Interleaved strips decode straight into the band; planes and tiles go through a chunk.
        if (layout_.tiled || separatePlanes()) chunk_.resize(static_cast<size_t>(chunk));
        return true;
    }
    int width() const override { return static_cast<int>(layout_.width); }
    int height() const override { return static_cast<int>(layout_.height); }
    bool hasAlpha() const override { return layout_.alphaSample >= 0; }
    bool next(uint16_t* rgb, uint8_t* cover, std::string& error) override {
        const uint32_t y = nextRow_++;
        const uint32_t top = y - y % layout_.bandRows;
        if (top != bandTop_ && !loadBand(top)) {
            error = handle_.reason("the image data cannot be read");
            return false;
        }
        bandTop_ = top;
        convert(band_.data() + size_t{y - top} * layout_.width * layout_.samples * bytes_, rgb, cover);
        return true;
    }

private:
    // Copies a decoded strip or tile (chunkWidth pixels a row, `samples` samples a pixel, the
    // first being sample `plane`) into the band at column `left`.
    void place(uint32_t rows, uint32_t left, uint32_t chunkWidth, int samples, int plane) {
        const uint32_t columns = std::min(chunkWidth, layout_.width - left);
        const size_t pixel = size_t{layout_.samples} * bytes_, part = size_t{static_cast<unsigned>(samples)} * bytes_;
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* from = chunk_.data() + size_t{r} * chunkWidth * part;
            uint8_t* to = band_.data() + (size_t{r} * layout_.width + left) * pixel + size_t{static_cast<unsigned>(plane)} * bytes_;
            for (uint32_t c = 0; c < columns; ++c) std::memcpy(to + c * pixel, from + c * part, part);
        }
    }
    bool loadBand(uint32_t top) {
        TIFF* tiff = handle_.get();
        const uint32_t rows = std::min(layout_.bandRows, layout_.height - top);
        const bool planes = separatePlanes();
        if (!layout_.tiled && !planes)
            return TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, top, 0), band_.data(),
                                        static_cast<tmsize_t>(band_.size())) >= 0;
        const int samples = planes ? 1 : layout_.samples;
        const tmsize_t size = static_cast<tmsize_t>(chunk_.size());
        for (int plane = 0; plane < (planes ? layout_.samples : 1); ++plane) {
            const uint16_t p = static_cast<uint16_t>(plane);
            if (!layout_.tiled) {
                if (TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, top, p), chunk_.data(), size) < 0) return false;
                place(rows, 0, layout_.width, samples, plane);
                continue;
            }
            for (uint32_t left = 0; left < layout_.width; left += layout_.tileWidth) {
                if (TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, left, top, 0, p), chunk_.data(), size) < 0) return false;
                place(rows, left, layout_.tileWidth, samples, plane);
            }
        }
        return true;
    }
    bool separatePlanes() const { return layout_.planar == PLANARCONFIG_SEPARATE && layout_.samples > 1; }
    uint16_t sample(const uint8_t* pixel, int index) const {
        if (bytes_ == 1) return static_cast<uint16_t>(pixel[index] * 257);
        uint16_t value;
        std::memcpy(&value, pixel + 2 * index, 2);
        return value;
    }
    void convert(const uint8_t* from, uint16_t* rgb, uint8_t* cover) const {
        const size_t pixel = size_t{layout_.samples} * bytes_;
        for (uint32_t x = 0; x < layout_.width; ++x, from += pixel, rgb += 3) {
            if (layout_.photometric == PHOTOMETRIC_PALETTE) {
                for (int k = 0; k < 3; ++k) rgb[k] = layout_.palette[k][from[0]];
            } else {
                for (int k = 0; k < 3; ++k) rgb[k] = sample(from, layout_.colours == 3 ? k : 0);
                if (layout_.photometric == PHOTOMETRIC_MINISWHITE)
                    for (int k = 0; k < 3; ++k) rgb[k] = static_cast<uint16_t>(65535 - rgb[k]);
            }
            if (layout_.alphaSample < 0) continue;
            const uint32_t alpha = sample(from, layout_.alphaSample);
            cover[x] = static_cast<uint8_t>(alpha >> 8);
            if (layout_.premultiplied && alpha > 0)
                for (int k = 0; k < 3; ++k) rgb[k] = static_cast<uint16_t>(std::min<uint32_t>(65535, rgb[k] * 65535u / alpha));
        }
    }

    TiffHandle handle_;
    Layout layout_;
    int bytes_ = 1;
    std::vector<uint8_t> band_, chunk_;
    uint32_t bandTop_ = UINT32_MAX, nextRow_ = 0;
};

}  // namespace

bool readTiffFacts(std::FILE* file, TiffFacts& facts, std::string& error) {
    TiffHandle handle(file);
    Layout layout;
    if (!handle.valid() || !readLayout(handle.get(), layout, error)) {
        if (error.empty()) error = handle.reason("not a TIFF file");
        return false;
    }
    facts.width = static_cast<int>(layout.width);
    facts.height = static_cast<int>(layout.height);
    facts.bits = layout.bits;
    facts.alpha = layout.alphaSample >= 0;
    facts.channels = (layout.photometric == PHOTOMETRIC_PALETTE ? 3 : layout.colours) + (facts.alpha ? 1 : 0);
    facts.exif = exifOf(handle.get());
    return true;
}

std::unique_ptr<StoredRows> openTiffRows(std::FILE* file, std::string& error) {
    auto rows = std::make_unique<TiffRows>(file);
    if (!rows->open(error)) return nullptr;
    return rows;
}

}  // namespace vantorra
