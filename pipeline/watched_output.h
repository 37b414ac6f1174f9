#pragma once
// The panorama sink a run renders into, passed through so that the render stops at the next row
// once any photograph was found changed during the run: its rows would mix two pictures.

#include <cstdint>
#include <utility>

#include "io/panorama_sink.h"

namespace vantorra {

class WatchedOutput : public PanoramaSink {
public:
    explicit WatchedOutput(PanoramaSink& output) : output_(output) {}
    bool begin(int width, int height) override;
    bool writeRows(const uint8_t* rgb, int count) override;
    bool finish() override;
    bool holdsWholePanorama() const override { return output_.holdsWholePanorama(); }
    bool wantsWideRows() const override { return output_.wantsWideRows(); }
    bool writeWideRows(const uint16_t* rgb, int count) override;
    void setMetadata(PanoramaMetadata metadata) override { output_.setMetadata(std::move(metadata)); }

private:
    bool passed(bool ok);
    PanoramaSink& output_;
};

}  // namespace vantorra
