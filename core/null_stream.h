#pragma once
// A stream that discards everything written to it: the log of a run that keeps none.

#include <ostream>
#include <streambuf>

namespace vantorra {

class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// The buffer comes first among the bases, so it exists before the stream is given it.
class NullStream : private NullBuffer, public std::ostream {
public:
    NullStream() : std::ostream(static_cast<NullBuffer*>(this)) {}
};

}  // namespace vantorra
