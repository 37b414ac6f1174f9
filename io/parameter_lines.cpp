#include "io/parameter_lines.h"

#include <cstdio>
#include <istream>

namespace vantorra {
namespace {

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool blank(const std::string& text, size_t from) {
    for (size_t i = from; i < text.size(); ++i)
        if (!isWhiteSpace(text[i])) return false;
    return true;
}

// The first bytes of a line as printable text, for a message.
std::string excerpt(const std::string& line) {
    constexpr size_t kShown = 24;
    std::string shown;
    for (size_t i = 0; i < line.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    return "\"" + shown + "...\"";
}

}  // namespace

ParameterLines::ParameterLines(std::istream& in) : buffer_(in.rdbuf()) {}

bool ParameterLines::fetch() {
    if (failed() || buffer_ == nullptr) return false;
    line_.clear();
    position_ = 0;
    inLine_ = false;
    using Traits = std::char_traits<char>;
    Traits::int_type c = buffer_->sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) return false;
    ++number_;
    for (; !Traits::eq_int_type(c, Traits::eof()) && Traits::to_char_type(c) != '\n'; c = buffer_->sbumpc()) {
        // One byte beyond the limit tells an over-long line; a final carriage return is allowed.
        if (line_.size() >= kMaxLineBytes && !(line_.size() == kMaxLineBytes && Traits::to_char_type(c) == '\r')) {
            error_ = "line " + std::to_string(number_) + " is longer than any path (more than " +
                     std::to_string(kMaxLineBytes) + " bytes): " + excerpt(line_);
            line_.clear();
            return false;
        }
        line_ += Traits::to_char_type(c);
    }
    while (!line_.empty() && line_.back() == '\r') line_.pop_back();
    inLine_ = true;
    return true;
}

bool ParameterLines::nextName(std::string& name) {
    if (inLine_ && !blank(line_, position_)) {
        size_t first = position_;
        while (isWhiteSpace(line_[first])) ++first;
        name.assign(line_, first);
        inLine_ = false;
        return true;
    }
    while (fetch()) {
        if (!blank(line_, 0)) {
            name = line_;
            inLine_ = false;
            return true;
        }
    }
    return false;
}

bool ParameterLines::nextWord(std::string& word) {
    for (;;) {
        if (!inLine_ && !fetch()) return false;
        while (position_ < line_.size() && isWhiteSpace(line_[position_])) ++position_;
        if (position_ == line_.size()) {
            inLine_ = false;
            continue;
        }
        const size_t start = position_;
        while (position_ < line_.size() && !isWhiteSpace(line_[position_])) ++position_;
        word.assign(line_, start, position_ - start);
        return true;
    }
}

std::string unrecordableName(const std::string& name) {
    if (name.find('\n') != std::string::npos) return "the name holds a line break, which pano.txt cannot record";
    if (blank(name, 0)) return "the name is empty or only white space, which pano.txt cannot record";
    if (name.back() == '\r') return "the name ends in a carriage return, which pano.txt cannot record";
    if (name.size() > ParameterLines::kMaxLineBytes) return "the name is longer than any path";
    return std::string();
}

}  // namespace vantorra
