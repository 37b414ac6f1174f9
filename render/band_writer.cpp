#include "render/band_writer.h"

namespace vantorra {

bool BandWriter::wait() {
    if (writing_.joinable()) writing_.join();
    return ok_;
}

bool BandWriter::writeWide(const uint16_t* rgb, int count) {
    if (!wait()) return false;
    if (!overlap_) return ok_ = sink_.writeWideRows(rgb, count);
    writing_ = std::thread([this, rgb, count] { ok_ = sink_.writeWideRows(rgb, count); });
    return true;
}

bool BandWriter::write(const uint8_t* rgb, int count) {
    if (!wait()) return false;
    if (!overlap_) return ok_ = sink_.writeRows(rgb, count);
    writing_ = std::thread([this, rgb, count] { ok_ = sink_.writeRows(rgb, count); });
    return true;
}

}  // namespace vantorra
