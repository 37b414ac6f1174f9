#pragma once
// Hands finished rows of blocks to the sink, top to bottom. When asked to overlap, each row is
// written on a thread of its own while the next row is composed: encoding a row of a large
// panorama takes long enough that the render's threads would otherwise wait on it. Rows still
// reach the sink one at a time and in order, so the file is the same either way.

#include <cstdint>
#include <thread>

#include "io/panorama_sink.h"

namespace vantorra {

class BandWriter {
public:
    BandWriter(PanoramaSink& sink, bool overlap) : sink_(sink), overlap_(overlap) {}
    ~BandWriter() { wait(); }
    BandWriter(const BandWriter&) = delete;
    BandWriter& operator=(const BandWriter&) = delete;

    // Waits for the row before (false when the sink refused it), then writes `count` rows of
    // `rgb`, which stay untouched until the next call or finish().
    bool write(const uint8_t* rgb, int count);
    // The same for the 16-bit rows of a sink that wants them.
    bool writeWide(const uint16_t* rgb, int count);
    // Waits for the last row; false when the sink refused any.
    bool finish() { return wait(); }

private:
    bool wait();

    PanoramaSink& sink_;
    const bool overlap_;
    std::thread writing_;
    bool ok_ = true;  // set by the writing thread, read after joining it
};

}  // namespace vantorra
