#pragma once
// Encodes a panorama into a TIFF as its rows are finished: RGB, 8 or 16 bits a sample, deflate
// with the horizontal predictor, in strips of about a megabyte, a BigTIFF when the file could
// pass 4 GiB; the colour profile, XMP packet and the EXIF fields of the metadata as TIFF tags.

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "io/depth_file_sink.h"

namespace vantorra {

class TiffFileSink : public DepthFileSink {
public:
    // Encodes into `file` (owned from here on, closed by finish or on failure); `name` is for
    // messages only: the caller owns what the file is and removes it on failure.
    TiffFileSink(std::FILE* file, std::string name, int depth);
    ~TiffFileSink() override;

    bool begin(int width, int height) override;
    bool finish() override;
    // Whether begin() chose BigTIFF.
    bool big() const { return big_; }

private:
    struct Encoder;
    bool fail(const std::string& why);
    bool ready() override;
    bool writeRow(const void* row) override;

    std::unique_ptr<Encoder> encoder_;
    bool big_ = false;
};

}  // namespace vantorra
