#include "io/log_destination.h"

#include <cstdio>

namespace vantorra {

LogDestination::LogDestination(int mode, bool append) : LogDestination(mode, append, kLogFileName) {}

LogDestination::LogDestination(int mode, bool append, const std::filesystem::path& logFile) {
    std::cout.flush();
    std::fflush(stdout);
    savedState_ = std::cout.rdstate();
    switch (mode) {
        case Console:
            // The terminal already owns the standard streams; only make every line appear at once.
            savedFlags_ = std::cout.flags();
            std::cout << std::unitbuf;
            active_ = true;
            break;
        case File:
            file_.open(logFile, append ? std::ios::out | std::ios::app : std::ios::out | std::ios::trunc);
            if (!file_.is_open()) {
                error_ = "can't open " + logFile.string();
                return;
            }
            savedFlags_ = std::cout.flags();
            savedBuffer_ = std::cout.rdbuf(file_.rdbuf());
            active_ = true;
            break;
        case None:
            savedFlags_ = std::cout.flags();
            savedBuffer_ = std::cout.rdbuf(&nullBuffer_);
            active_ = true;
            break;
        default:
            error_ = "unknown log destination " + std::to_string(mode);
            break;
    }
}

LogDestination::~LogDestination() { close(); }

bool LogDestination::close() {
    if (!active_) return true;
    active_ = false;
    std::cout.flush();
    const bool written = !std::cout.fail();
    // std::cout must stop using the file's buffer before that buffer goes away.
    if (savedBuffer_ != nullptr) std::cout.rdbuf(savedBuffer_);
    savedBuffer_ = nullptr;
    std::cout.flags(savedFlags_);
    std::cout.clear(savedState_);
    if (!file_.is_open()) return true;
    file_.close();
    return written && !file_.fail();
}

}  // namespace vantorra
