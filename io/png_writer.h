#pragma once
// Encodes a panorama into a PNG as its rows are finished: RGB, 8 or 16 bits a sample, with the
// colour profile (iCCP), the EXIF block (eXIf) and the XMP packet (iTXt) of the metadata.

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "io/panorama_format.h"
#include "io/panorama_sink.h"

namespace vantorra {

class PngFileSink : public FileSink {
public:
    // Encodes into `file` (owned from here on, closed by finish or on failure); `name` is for
    // messages only: the caller owns what the file is and removes it on failure.
    PngFileSink(std::FILE* file, std::string name, int depth);
    ~PngFileSink() override;
    PngFileSink(const PngFileSink&) = delete;
    PngFileSink& operator=(const PngFileSink&) = delete;

    bool begin(int width, int height) override;
    bool writeRows(const uint8_t* rgb, int count) override;
    bool wantsWideRows() const override { return depth_ == 16; }
    bool writeWideRows(const uint16_t* rgb, int count) override;
    bool finish() override;
    void setMetadata(PanoramaMetadata metadata) override { metadata_ = std::move(metadata); }

private:
    struct Encoder;
    bool fail();
    bool writeRow(const void* row);

    std::FILE* file_;
    std::string name_;
    int depth_;
    PanoramaMetadata metadata_;
    std::unique_ptr<Encoder> encoder_;
};

}  // namespace vantorra
