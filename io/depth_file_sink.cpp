#include "io/depth_file_sink.h"

#include <cerrno>
#include <cstring>

namespace vantorra {

DepthFileSink::~DepthFileSink() {
    if (file_) std::fclose(file_);
}

bool DepthFileSink::writeRows(const uint8_t* rgb, int count) {
    if (!ready()) return false;
    for (int r = 0; r < count; ++r) {
        const uint8_t* row = rgb + rowSamples_ * static_cast<size_t>(r);
        if (depth_ == 8) {
            if (!writeRow(row)) return false;
            continue;
        }
        widened_.resize(rowSamples_);
        for (size_t i = 0; i < rowSamples_; ++i) widened_[i] = static_cast<uint16_t>(row[i] * 257);
        if (!writeRow(widened_.data())) return false;
    }
    return true;
}

bool DepthFileSink::writeWideRows(const uint16_t* rgb, int count) {
    if (!ready()) return false;
    if (depth_ != 16) {
        error_ = "can't write " + name_ + ": an 8-bit file takes 8-bit rows";
        return false;
    }
    for (int r = 0; r < count; ++r)
        if (!writeRow(rgb + rowSamples_ * static_cast<size_t>(r))) return false;
    return true;
}

std::string DepthFileSink::closeFile() {
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    if (flushed && closed) return std::string();
    const int error = flushed ? errno : flushError;
    return error != 0 ? std::strerror(error) : "the file could not be written";
}

}  // namespace vantorra
