#pragma once
// The parameter file read as lines of at most a path's length, so that no input, however long
// its lines, costs more memory than that: a line longer than any path can be is refused as soon
// as it is seen, with its line number and the start of it.

#include <cstddef>
#include <iosfwd>
#include <string>

namespace vantorra {

class ParameterLines {
public:
    // The longest line: a name is a path, and no path is longer (a carriage return may follow).
    static constexpr size_t kMaxLineBytes = 4096;

    explicit ParameterLines(std::istream& in);

    // The next name. When the current line holds more after the words taken from it, that rest
    // (its leading white space skipped); else the next line that is not blank, whole, with the
    // carriage returns it ends in (a file written on another system) removed.
    bool nextName(std::string& name);
    // The next word (white-space separated), crossing lines.
    bool nextWord(std::string& word);
    // Both are false at the end of the text and after a line that is too long (failed()).
    bool failed() const { return !error_.empty(); }
    // "line N is longer than any path (more than 4096 bytes): "START...""
    const std::string& error() const { return error_; }

private:
    bool fetch();

    std::streambuf* buffer_;
    std::string line_;
    size_t position_ = 0;
    bool inLine_ = false;
    long number_ = 0;
    std::string error_;
};

// Why `name` cannot be written as one line of the parameter file and read back the same, or
// empty when it can.
std::string unrecordableName(const std::string& name);

}  // namespace vantorra
