#include "io/photo_reader.h"

#include <memory>
#include <vector>

#include "io/heif_reader.h"
#include "io/input_files.h"
#include "io/jpeg.h"
#include "io/png_reader.h"
#include "io/stored_rows.h"
#include "io/tiff_reader.h"

namespace vantorra {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// Opens a photograph that is not a JPEG: null (with the reason) when it cannot be opened or is
// a JPEG, or a file whose signature no reader knows (the JPEG reader says what it is not).
OpenFile openOther(const std::string& path, PhotoFormat& format, std::string* error) {
    OpenFile file(openInputFile(path, error));
    if (!file) return nullptr;
    format = formatOfFile(file.get());
    if (format == PhotoFormat::Jpeg || format == PhotoFormat::Unknown) return nullptr;
    if (std::string changed = checkUnchanged(path, file.get()); !changed.empty()) {
        setError(error, changed);
        return nullptr;
    }
    return file;
}

// A read ends with the change check: a file cut short or rewritten while it was read says so,
// rather than what its decoder saw.
bool finish(const std::string& path, std::FILE* file, bool read, const std::string& why, std::string* error) {
    if (std::string changed = checkUnchanged(path, file); !changed.empty()) {
        setError(error, changed);
        return false;
    }
    if (!read) setError(error, path + ": " + why);
    return read;
}

bool otherHeader(std::FILE* file, PhotoFormat format, PhotoHeader& header, std::string& why) {
    header.format = format;
    int storedWidth = 0, storedHeight = 0;
    if (format == PhotoFormat::Png) {
        PngFacts facts;
        if (!readPngFacts(file, facts, why)) return false;
        storedWidth = facts.width, storedHeight = facts.height;
        header.components = facts.channels, header.bits = facts.bits, header.alpha = facts.alpha;
        header.exif = facts.exif;
    } else if (format == PhotoFormat::Tiff) {
        TiffFacts facts;
        if (!readTiffFacts(file, facts, why)) return false;
        storedWidth = facts.width, storedHeight = facts.height;
        header.components = facts.channels, header.bits = facts.bits, header.alpha = facts.alpha;
        header.exif = facts.exif;
    } else {
        HeifFacts facts;
        if (!readHeifFacts(file, facts, why)) return false;
        storedWidth = facts.width, storedHeight = facts.height;
        header.components = 3 + (facts.alpha ? 1 : 0), header.bits = facts.bits, header.alpha = facts.alpha;
        header.exif = facts.exif;
    }
    const bool swaps = header.exif.orientation >= 5;
    header.width = swaps ? storedHeight : storedWidth;
    header.height = swaps ? storedWidth : storedHeight;
    return true;
}

// Hands a JPEG's 8-bit rows to a sink that keeps 16 bits.
class WideningSink : public PhotoRowSink {
public:
    explicit WideningSink(PhotoRowSink& sink) : sink_(sink) {}
    bool begin(int width, int height) override {
        wide_.resize(3 * static_cast<size_t>(width));
        return sink_.begin(width, height);
    }
    void row(int index, const uint8_t* rgb) override {
        for (size_t i = 0; i < wide_.size(); ++i) wide_[i] = static_cast<uint16_t>(rgb[i] * 257);
        sink_.wideRow(index, wide_.data());
    }

private:
    PhotoRowSink& sink_;
    std::vector<uint16_t> wide_;
};

std::unique_ptr<StoredRows> openRows(std::FILE* file, PhotoFormat format, std::string& why) {
    if (format == PhotoFormat::Png) return openPngRows(file, why);
    if (format == PhotoFormat::Tiff) return openTiffRows(file, why);
    return openHeifRows(file, why);
}

}  // namespace

bool readPhotoHeader(const std::string& path, PhotoHeader& header, std::string* error) {
    header = PhotoHeader{};
    PhotoFormat format = PhotoFormat::Unknown;
    OpenFile file = openOther(path, format, error);
    if (!file) {
        if (format != PhotoFormat::Jpeg && format != PhotoFormat::Unknown) return false;
        JpegHeader jpeg;
        if (!readJpegHeader(path, jpeg, error)) return false;
        header.width = jpeg.width, header.height = jpeg.height, header.components = jpeg.components;
        header.format = PhotoFormat::Jpeg;
        header.exif = jpeg.exif;
        return true;
    }
    std::string why;
    const bool read = otherHeader(file.get(), format, header, why);
    return finish(path, file.get(), read, why, error);
}

bool readPhotoRowsScaled(const std::string& path, int scaleDenom, PhotoRowSink& sink, std::string* error,
                         int firstRow, int rowCount) {
    PhotoFormat format = PhotoFormat::Unknown;
    OpenFile file = openOther(path, format, error);
    if (!file) {
        if (format != PhotoFormat::Jpeg && format != PhotoFormat::Unknown) return false;
        if (!sink.wantsWideSamples()) return readJpegRowsScaled(path, scaleDenom, sink, error, firstRow, rowCount);
        WideningSink widening(sink);
        return readJpegRowsScaled(path, scaleDenom, widening, error, firstRow, rowCount);
    }
    if (scaleDenom != 1 && scaleDenom != 2 && scaleDenom != 4 && scaleDenom != 8) {
        setError(error, path + ": unsupported decoding scale 1/" + std::to_string(scaleDenom));
        return false;
    }
    PhotoHeader header;
    std::string why;
    bool read = otherHeader(file.get(), format, header, why);
    if (read) {
        std::unique_ptr<StoredRows> rows = openRows(file.get(), format, why);
        read = rows && deliverRows(*rows, header.exif.orientation, scaleDenom, sink, why, firstRow, rowCount);
    }
    return finish(path, file.get(), read, why, error);
}

}  // namespace vantorra
