#pragma once
// Encodes a panorama into a TIFF as its rows are finished: RGB, 8 or 16 bits a sample, deflate
// with the horizontal predictor, in strips of about a megabyte, a BigTIFF when the file could
// pass 4 GiB; the colour profile, XMP packet and the EXIF fields of the metadata as TIFF tags.

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "io/panorama_format.h"
#include "io/panorama_sink.h"

namespace vantorra {

class TiffFileSink : public FileSink {
public:
    // Encodes into `file` (owned from here on, closed by finish or on failure); `name` is for
    // messages only: the caller owns what the file is and removes it on failure.
    TiffFileSink(std::FILE* file, std::string name, int depth);
    ~TiffFileSink() override;
    TiffFileSink(const TiffFileSink&) = delete;
    TiffFileSink& operator=(const TiffFileSink&) = delete;

    bool begin(int width, int height) override;
    bool writeRows(const uint8_t* rgb, int count) override;
    bool wantsWideRows() const override { return depth_ == 16; }
    bool writeWideRows(const uint16_t* rgb, int count) override;
    bool finish() override;
    void setMetadata(PanoramaMetadata metadata) override { metadata_ = std::move(metadata); }
    // Whether begin() chose BigTIFF.
    bool big() const { return big_; }

private:
    struct Encoder;
    bool fail(const std::string& why);
    bool writeRow(const void* row);

    std::FILE* file_;
    std::string name_;
    int depth_;
    PanoramaMetadata metadata_;
    std::unique_ptr<Encoder> encoder_;
    bool big_ = false;
};

}  // namespace vantorra
