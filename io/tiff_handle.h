#pragma once
// A libtiff handle over a FILE the caller owns, with the library's complaints kept per handle
// (never printed): the first error is the reason a read failed.

#include <cstdio>
#include <string>

#include <tiffio.h>

namespace vantorra::tiff_detail {

class TiffHandle {
public:
    // Reads from the start of `file`; valid() says whether it holds a TIFF directory. `mode` is
    // libtiff's ("r" to read, "w", "w8" for BigTIFF to write).
    TiffHandle(std::FILE* file, const char* mode = "r");
    ~TiffHandle();
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;

    bool valid() const { return tiff_ != nullptr; }
    TIFF* get() const { return tiff_; }
    // The first error libtiff reported, or `otherwise` when it reported none.
    std::string reason(const std::string& otherwise) const { return error_.empty() ? otherwise : error_; }
    void complain(const std::string& text) {
        if (error_.empty()) error_ = text;
    }

private:
    TIFF* tiff_ = nullptr;
    std::string error_;
};

}  // namespace vantorra::tiff_detail
