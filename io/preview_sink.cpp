#include "io/preview_sink.h"

#include <algorithm>
#include <cmath>

namespace vantorra {

namespace {

int64_t reducedSide(int side, int factor) { return (int64_t{side} + factor - 1) / factor; }

}  // namespace

int previewFactor(int width, int height, int64_t maxPixels) {
    if (width <= 0 || height <= 0) return 1;
    maxPixels = std::max<int64_t>(maxPixels, 1);
    // From the factor the areas alone ask for, up until the rounded-up sides fit too.
    const double area = static_cast<double>(width) * height / static_cast<double>(maxPixels);
    int factor = std::max(1, static_cast<int>(std::floor(std::sqrt(area))));
    while (reducedSide(width, factor) * reducedSide(height, factor) > maxPixels) ++factor;
    return factor;
}

PreviewSink::PreviewSink(PanoramaSink& next, int64_t maxPixels) : next_(next), maxPixels_(maxPixels) {}

bool PreviewSink::begin(int width, int height) {
    if (!next_.begin(width, height)) {
        error_ = next_.error();
        return false;
    }
    width_ = width;
    height_ = height;
    factor_ = previewFactor(width, height, maxPixels_);
    row_ = 0;
    rowsInBlock_ = 0;
    const int cols = static_cast<int>(reducedSide(width, factor_));
    sums_.assign(static_cast<size_t>(cols) * 3, 0);
    preview_.clear();
    preview_.allocate(static_cast<int>(reducedSide(height, factor_)), cols, 3);
    return true;
}

// The finished block row: each sum over the pixels its block really has, rounded.
void PreviewSink::emitRow() {
    const int previewRow = (row_ - 1) / factor_;
    const int cols = preview_.cols;
    uint8_t* out = preview_.data.data() + static_cast<size_t>(previewRow) * cols * 3;
    for (int c = 0; c < cols; ++c) {
        const uint64_t blockCols = static_cast<uint64_t>(std::min(factor_, width_ - c * factor_));
        const uint64_t count = blockCols * static_cast<uint64_t>(rowsInBlock_);
        for (int k = 0; k < 3; ++k) {
            const size_t i = static_cast<size_t>(c) * 3 + static_cast<size_t>(k);
            out[i] = static_cast<uint8_t>((sums_[i] + count / 2) / count);
        }
    }
    std::fill(sums_.begin(), sums_.end(), uint64_t{0});
    rowsInBlock_ = 0;
}

bool PreviewSink::writeRows(const uint8_t* rgb, int count) {
    if (!next_.writeRows(rgb, count)) {
        error_ = next_.error();
        return false;
    }
    addToPreview(rgb, count);
    return true;
}

bool PreviewSink::writeWideRows(const uint16_t* rgb, int count) {
    if (!next_.writeWideRows(rgb, count)) {
        error_ = next_.error();
        return false;
    }
    // The copy for the window keeps 8 bits.
    narrow_.resize(static_cast<size_t>(width_) * 3 * static_cast<size_t>(std::max(count, 0)));
    for (size_t i = 0; i < narrow_.size(); ++i) narrow_[i] = static_cast<uint8_t>((rgb[i] * 255u + 32767u) / 65535u);
    addToPreview(narrow_.data(), count);
    return true;
}

void PreviewSink::addToPreview(const uint8_t* rgb, int count) {
    count = std::min(count, height_ - row_);  // rows beyond the panorama are the next sink's to refuse
    const size_t rowBytes = static_cast<size_t>(width_) * 3;
    for (int r = 0; r < count; ++r) {
        const uint8_t* pixel = rgb + rowBytes * static_cast<size_t>(r);
        uint64_t* sum = sums_.data();
        for (int x0 = 0; x0 < width_; x0 += factor_, sum += 3) {
            uint64_t red = 0, green = 0, blue = 0;
            for (const uint8_t* end = pixel + 3 * std::min(factor_, width_ - x0); pixel < end; pixel += 3) {
                red += pixel[0];
                green += pixel[1];
                blue += pixel[2];
            }
            sum[0] += red;
            sum[1] += green;
            sum[2] += blue;
        }
        ++row_;
        if (++rowsInBlock_ == factor_ || row_ == height_) emitRow();
    }
}

bool PreviewSink::finish() {
    if (!next_.finish()) {
        error_ = next_.error();
        return false;
    }
    return row_ == height_;
}

}  // namespace vantorra
