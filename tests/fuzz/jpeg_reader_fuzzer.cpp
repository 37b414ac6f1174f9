// Feeds arbitrary bytes to every JPEG reader: the header reader, the byte and float whole-image
// readers, the halving reader and the decoder-scaled row reader. Beyond not crashing, the readers must agree with each other:
// the same success, the same size, the same samples, and the halving reader must equal decoding
// followed by halfSize sample for sample. A failure must leave the outputs empty with a reason.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/image.h"
#include "io/jpeg.h"
#include "io/photo_format.h"
#include "fuzz_input_file.h"
#include "io/photo_image.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Checks that rows come once each, in order, at the size begin announced.
class OrderSink : public vantorra::JpegRowSink {
public:
    bool begin(int w, int h) override {
        require(!begun && w > 0 && h > 0);
        begun = true;
        width = w;
        height = h;
        return true;
    }
    void row(int index, const uint8_t* rgb) override {
        require(begun && index == rows && index < height && rgb != nullptr);
        ++rows;
    }
    bool begun = false;
    int width = 0, height = 0, rows = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vantorra;
    // The other formats' signatures lead to their own readers (photo_reader_fuzzer).
    const PhotoFormat format = formatOfSignature(data, size);
    if (format != PhotoFormat::Jpeg && format != PhotoFormat::Unknown) return 0;
    static fuzz::FuzzInputFile file;
    const std::string& path = file.hold(data, size);

    JpegHeader header;
    std::string headerError;
    const bool headerRead = readJpegHeader(path, header, &headerError);
    require(headerRead || !headerError.empty());

    // A few hundred bytes can claim a hundred megapixels that the arithmetic decoder fills with
    // zeros: every reader would decode them in full (and the float reader hold 12 bytes a pixel),
    // which is slow but no fault. Such a file gets the header and one scaled read only, so the
    // fuzzer spends its time on the decoding paths instead.
    constexpr int64_t kLargestCompared = int64_t{1} << 22;
    if (headerRead && int64_t{header.width} * header.height > kLargestCompared) {
        OrderSink sink;
        std::string error;
        if (readJpegRowsScaled(path, 8, sink, &error)) require(sink.rows == sink.height);
        else require(!error.empty());
        return 0;
    }

    std::vector<uint8_t> bytes;
    int width = -1, height = -1;
    std::string byteError;
    const bool byteRead = readJpeg(path, bytes, width, height, &byteError);
    if (byteRead) {
        require(headerRead && width == header.width && height == header.height);
        require(bytes.size() == static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    } else {
        require(bytes.empty() && width == 0 && height == 0 && !byteError.empty());
    }

    FloatImage whole;
    std::string wholeError;
    const bool wholeRead = readPhoto(path, whole, &wholeError);
    require(wholeRead == byteRead);
    if (wholeRead) {
        require(whole.rows == height && whole.cols == width && whole.channels == 3);
        require(whole.data.size() == bytes.size());
        for (size_t i = 0; i < bytes.size(); ++i) require(whole.data[i] == static_cast<float>(bytes[i]));
    } else {
        require(whole.empty() && whole.rows == 0 && !wholeError.empty());
    }

    FloatImage halved;
    int fullRows = -1, fullCols = -1;
    std::string halvedError;
    const bool halvedRead = readPhotoHalved(path, halved, fullRows, fullCols, &halvedError);
    require(halvedRead == wholeRead);
    if (halvedRead) {
        require(fullRows == whole.rows && fullCols == whole.cols);
        const FloatImage expected = halfSize(whole);
        require(halved.rows == whole.rows / 2 && halved.cols == whole.cols / 2);
        require(halved.data == expected.data);
    } else {
        require(halved.empty() && fullRows == 0 && fullCols == 0 && !halvedError.empty());
    }

    if (wholeRead) {  // the feature stage's reduction, from the header's size
        FloatImage reduced;
        std::string reducedError;
        if (readPhotoReduced(path, reduced, whole.rows, whole.cols, 3, &reducedError))
            require(reduced.rows == whole.rows >> 3 && reduced.cols == whole.cols >> 3 &&
                    reduced.data.size() == static_cast<size_t>(reduced.rows) * reduced.cols * 3);
        else
            require(reduced.empty() && !reducedError.empty());
    }

    for (const int denominator : {2, 8}) {
        OrderSink sink;
        std::string error;
        if (readJpegRowsScaled(path, denominator, sink, &error)) {
            require(wholeRead && sink.rows == sink.height);
            require(sink.width == (whole.cols + denominator - 1) / denominator);
            require(sink.height == (whole.rows + denominator - 1) / denominator);
        } else {
            require(!error.empty());
        }
    }
    return 0;
}
