#pragma once
// Encodes a panorama into a PNG as its rows are finished: RGB, 8 or 16 bits a sample, with the
// colour profile (iCCP), the EXIF block (eXIf) and the XMP packet (iTXt) of the metadata.

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "io/depth_file_sink.h"

namespace vantorra {

class PngFileSink : public DepthFileSink {
public:
    // Encodes into `file` (owned from here on, closed by finish or on failure); `name` is for
    // messages only: the caller owns what the file is and removes it on failure.
    PngFileSink(std::FILE* file, std::string name, int depth);
    ~PngFileSink() override;

    bool begin(int width, int height) override;
    bool finish() override;

private:
    struct Encoder;
    bool fail();
    bool ready() override;
    bool writeRow(const void* row) override;
    bool encodeRow(const unsigned char* data);

    std::unique_ptr<Encoder> encoder_;
};

}  // namespace vantorra
