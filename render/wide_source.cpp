#include "render/wide_source.h"

#include <algorithm>

#include "io/photo_reader.h"
#include "render/warp.h"

namespace vantorra {
namespace {

// Collects 16-bit rows as floats on the 0..255 scale of every source.
class WideFloatSink : public PhotoRowSink {
public:
    WideFloatSink(FloatImage& image, SourceCover& cover) : image_(image), cover_(cover) {}
    void cover(int index, const uint8_t* c) override { cover_.takeRow(index, c, image_.rows, image_.cols); }
    bool begin(int width, int height) override { return image_.allocate(height, width, 3); }
    void row(int, const uint8_t*) override {}
    bool wantsWideSamples() const override { return true; }
    void wideRow(int index, const uint16_t* rgb) override {
        float* to = &image_.data[static_cast<size_t>(index) * image_.cols * 3];
        for (int i = 0; i < image_.cols * 3; ++i) to[i] = static_cast<float>(rgb[i]) * (1.0f / 257.0f);
    }

private:
    FloatImage& image_;
    SourceCover& cover_;
};

}  // namespace

bool decodeWideSource(const std::string& path, int decoderScale, int extraHalvings, float sigma, FloatImage& out,
                      SourceCover& cover, std::string& error, int firstRow, int rowCount) {
    const int step = 1 << extraHalvings;
    FloatImage decoded;
    WideFloatSink sink(decoded, cover);
    if (!readPhotoRowsScaled(path, decoderScale, sink, &error, firstRow * step,
                             rowCount < 0 ? -1 : rowCount * step)) {
        out.release();
        return false;
    }
    for (int h = 0, rows = decoded.rows; h < extraHalvings; ++h, rows /= 2) cover.halve(rows);
    out = extraHalvings > 0 || sigma > 0.0f ? reduceBy(decoded, Reduction{extraHalvings, sigma}) : std::move(decoded);
    return true;
}

}  // namespace vantorra
