#pragma once
// Where the log lines written to std::cout go during one run. Construct before the run; the
// destructor (or close()) puts std::cout back exactly as it was.

#include <filesystem>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>

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
    // or an unknown mode, leaves std::cout untouched and is reported by ok() and error().
    LogDestination(int mode, bool append);
    // The same with the log file at `logFile` instead of kLogFileName.
    LogDestination(int mode, bool append, const std::filesystem::path& logFile);
    ~LogDestination();
    LogDestination(const LogDestination&) = delete;
    LogDestination& operator=(const LogDestination&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // Restores std::cout and closes the log file; false when writing or closing the file failed.
    // Later calls do nothing and return true.
    bool close();

private:
    // Swallows everything written to it.
    class NullBuffer : public std::streambuf {
    protected:
        int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
        std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
    };

    std::streambuf* savedBuffer_ = nullptr;  // std::cout's buffer before we replaced it
    std::ios_base::fmtflags savedFlags_{};
    std::ios_base::iostate savedState_{};
    bool active_ = false;
    std::ofstream file_;
    NullBuffer nullBuffer_;
    std::string error_;
};

}  // namespace vantorra
