#pragma once
// Where the log lines of one run go: the console (the standard output stream), a file, or
// nowhere. The run writes to stream(); nothing else of the program is redirected.

#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <string>

#include "core/null_stream.h"

namespace vantorra {

class LogDestination {
public:
    enum Mode : int {
        Console = 0,  // the terminal the program was started from, flushed at every write
        File = 1,     // kLogFileName in the current directory
        None = 2,     // log lines are discarded
    };
    static constexpr const char* kLogFileName = "log.txt";

    // File mode empties the log file first unless `append` is set. A file that cannot be opened,
    // or an unknown mode, is reported by ok() and error(); stream() then discards.
    LogDestination(int mode, bool append);
    // The same with the log file at `logFile` instead of kLogFileName.
    LogDestination(int mode, bool append, const std::filesystem::path& logFile);
    ~LogDestination();
    LogDestination(const LogDestination&) = delete;
    LogDestination& operator=(const LogDestination&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // The stream the run's log lines go to, valid until close().
    std::ostream& stream() { return *stream_; }

    // Flushes and closes the log file (the console keeps its own settings); false when writing or
    // closing the file failed. Later calls do nothing and return true; stream() discards after.
    bool close();

private:
    std::ofstream file_;
    NullStream discard_;
    std::ostream* stream_ = &discard_;
    std::ios_base::fmtflags consoleFlags_{};
    bool console_ = false;
    std::string error_;
};

}  // namespace vantorra
