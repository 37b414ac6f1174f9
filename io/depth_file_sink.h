#pragma once
// What the TIFF and PNG writers share: a file of 8 or 16 bits a sample over a FILE the sink owns.
// Rows of either depth reach the writer one at a time in the file's own sample width (an 8-bit
// row given to a 16-bit file widened, each byte b as b x 257), and the file is closed with its
// errors checked.

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "io/panorama_format.h"
#include "io/panorama_sink.h"

namespace vantorra {

class DepthFileSink : public FileSink {
public:
    ~DepthFileSink() override;
    DepthFileSink(const DepthFileSink&) = delete;
    DepthFileSink& operator=(const DepthFileSink&) = delete;

    bool writeRows(const uint8_t* rgb, int count) final;
    bool wantsWideRows() const final { return depth_ == 16; }
    bool writeWideRows(const uint16_t* rgb, int count) final;
    void setMetadata(PanoramaMetadata metadata) final { metadata_ = std::move(metadata); }

protected:
    // `file` is owned from here on; `name` is for messages only (the caller removes the file on failure).
    DepthFileSink(std::FILE* file, std::string name, int depth)
        : file_(file), name_(std::move(name)), depth_(depth == 16 ? 16 : 8) {}

    // Whether rows can be written (the file was begun); false with error_ set.
    virtual bool ready() = 0;
    // One row of 3 x width samples: bytes at depth 8, words at 16. False with error_ set.
    virtual bool writeRow(const void* row) = 0;
    // From begin(): the samples of a row.
    void setRowSamples(size_t samples) { rowSamples_ = samples; }
    // After the encoder let go of the file: closes it; empty, or the system's reason.
    std::string closeFile();

    std::FILE* file_;
    std::string name_;
    int depth_;
    PanoramaMetadata metadata_;

private:
    size_t rowSamples_ = 0;
    std::vector<uint16_t> widened_;
};

}  // namespace vantorra
