#pragma once
// A reduced copy of a panorama made while its rows pass on to where they are written, so a front
// end can show a panorama of any size without holding it or reading it back: every row goes to
// the next sink unchanged, and the copy averages square blocks of factor x factor pixels, the
// factor the least whole number that keeps the copy within a number of pixels.

#include <cstdint>
#include <vector>

#include "core/image.h"
#include "io/panorama_sink.h"

namespace vantorra {

class PreviewSink : public PanoramaSink {
public:
    // `next` receives every row; the copy holds at most `maxPixels` pixels (at least one).
    PreviewSink(PanoramaSink& next, int64_t maxPixels);

    bool begin(int width, int height) override;
    bool writeRows(const uint8_t* rgb, int count) override;
    bool finish() override;
    bool holdsWholePanorama() const override { return next_.holdsWholePanorama(); }
    bool wantsWideRows() const override { return next_.wantsWideRows(); }
    bool writeWideRows(const uint16_t* rgb, int count) override;
    void setMetadata(PanoramaMetadata metadata) override { next_.setMetadata(std::move(metadata)); }

    // The reduced copy, complete once finish() has succeeded (ceil(width / factor) x
    // ceil(height / factor), 3 channels); each pixel is the rounded mean of the panorama pixels
    // of its block, a block at the right or bottom edge being cut short.
    const Image& preview() const { return preview_; }
    Image takePreview() { return std::move(preview_); }
    int factor() const { return factor_; }

private:
    void emitRow();
    void addToPreview(const uint8_t* rgb, int count);

    PanoramaSink& next_;
    int64_t maxPixels_;
    int width_ = 0, height_ = 0;
    int factor_ = 1;
    int row_ = 0;             // panorama rows taken so far
    int rowsInBlock_ = 0;     // of the block row being summed
    std::vector<uint64_t> sums_;  // per preview pixel of the block row, per channel
    Image preview_;
    std::vector<uint8_t> narrow_;  // 16-bit rows rounded for the copy
};

// The least whole factor that reduces width x height to at most maxPixels pixels.
int previewFactor(int width, int height, int64_t maxPixels);

}  // namespace vantorra
