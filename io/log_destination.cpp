#include "io/log_destination.h"

#include <iostream>

namespace vantorra {

LogDestination::LogDestination(int mode, bool append) : LogDestination(mode, append, kLogFileName) {}

LogDestination::LogDestination(int mode, bool append, const std::filesystem::path& logFile) {
    switch (mode) {
        case Console:
            // The terminal already owns the standard output stream; only make every line appear
            // at once while the run writes to it.
            consoleFlags_ = std::cout.flags();
            std::cout << std::unitbuf;
            stream_ = &std::cout;
            console_ = true;
            break;
        case File:
            file_.open(logFile, append ? std::ios::out | std::ios::app : std::ios::out | std::ios::trunc);
            if (!file_.is_open()) {
                error_ = "can't open " + logFile.string();
                return;
            }
            stream_ = &file_;
            break;
        case None:
            break;
        default:
            error_ = "unknown log destination " + std::to_string(mode);
            break;
    }
}

LogDestination::~LogDestination() { close(); }

bool LogDestination::close() {
    std::ostream* was = stream_;
    stream_ = &discard_;
    if (console_) {
        console_ = false;
        std::cout.flush();
        std::cout.flags(consoleFlags_);
        return true;
    }
    if (was != &file_ || !file_.is_open()) return true;
    file_.flush();
    const bool written = !file_.fail();
    file_.close();
    return written && !file_.fail();
}

}  // namespace vantorra
