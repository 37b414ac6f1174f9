// Feeds arbitrary bytes to the PNG, TIFF and HEIF readers (a JPEG signature goes to the JPEG
// harness instead). Beyond not crashing, the readers must agree with themselves: the header and
// a decode give the same size, every row comes once in order, the 8-bit rows are the 16-bit
// rows rounded, a reduced read has the reduced size and a band of it is the same rows. A
// failure must come with a reason.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input_file.h"
#include "io/photo_reader.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

class Collect : public vantorra::PhotoRowSink {
public:
    explicit Collect(bool wide) : wide_(wide) {}
    bool begin(int w, int h) override {
        require(!begun && w > 0 && h >= 0);
        begun = true;
        width = w;
        height = h;
        return true;
    }
    void row(int index, const uint8_t* rgb) override {
        require(begun && !wide_ && index == rows && index < height);
        samples.insert(samples.end(), rgb, rgb + 3 * static_cast<size_t>(width));
        ++rows;
    }
    bool wantsWideSamples() const override { return wide_; }
    void wideRow(int index, const uint16_t* rgb) override {
        require(begun && wide_ && index == rows && index < height);
        samples.insert(samples.end(), rgb, rgb + 3 * static_cast<size_t>(width));
        ++rows;
    }
    bool begun = false;
    int width = 0, height = 0, rows = 0;
    std::vector<uint32_t> samples;

private:
    bool wide_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vantorra;
    const PhotoFormat format = formatOfSignature(data, size);
    if (format == PhotoFormat::Jpeg || format == PhotoFormat::Unknown) return 0;
    static fuzz::FuzzInputFile file;
    const std::string& path = file.hold(data, size);

    PhotoHeader header;
    std::string headerError;
    const bool headerRead = readPhotoHeader(path, header, &headerError);
    require(headerRead || !headerError.empty());
    require(!headerRead || (header.format == format && header.width > 0 && header.height > 0));

    // A small file may claim a huge size; such a file gets one reduced read only.
    if (headerRead && int64_t{header.width} * header.height > (int64_t{1} << 22)) {
        Collect sink(false);
        std::string error;
        if (readPhotoRowsScaled(path, 8, sink, &error)) require(sink.rows == sink.height);
        else require(!error.empty());
        return 0;
    }

    Collect wide(true), narrow(false);
    std::string wideError, narrowError;
    const bool wideRead = readPhotoRows(path, wide, &wideError);
    const bool narrowRead = readPhotoRows(path, narrow, &narrowError);
    require(wideRead == narrowRead);
    if (!wideRead) {
        require(!wideError.empty() && !narrowError.empty());
        return 0;
    }
    require(headerRead && wide.width == header.width && wide.height == header.height && wide.rows == wide.height);
    require(narrow.samples.size() == wide.samples.size());
    for (size_t i = 0; i < wide.samples.size(); ++i) require(narrow.samples[i] == (wide.samples[i] * 255 + 32767) / 65535);

    Collect half(true), band(true);
    std::string halfError, bandError;
    if (!readPhotoRowsScaled(path, 2, half, &halfError)) {
        require(!halfError.empty());
        return 0;
    }
    require(half.width == (wide.width + 1) / 2 && half.height == (wide.height + 1) / 2 && half.rows == half.height);
    if (readPhotoRowsScaled(path, 2, band, &bandError, 1, 3)) {
        require(band.height == std::max(0, std::min(3, half.height - 1)) && band.rows == band.height);
        const size_t row = 3 * static_cast<size_t>(half.width);
        for (size_t i = 0; i < band.samples.size(); ++i) require(band.samples[i] == half.samples[row + i]);
    } else {
        require(!bandError.empty());
    }
    return 0;
}
