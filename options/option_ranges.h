#pragma once
// The accepted range of every whole-number option, shared by the Options dialog's checks and
// the command-line tool's, so both refuse the same values with the same bounds.

#include <cstdint>
#include <string_view>

namespace vantorra {

struct OptionRange {
    int32_t minimum;
    int32_t maximum;
    // Why the bounds are what they are, added to the refusal; empty when they need no word.
    const char* reason = "";
};

// libjpeg writes at most 65500 pixels a side (a little under the format's 65535), and the
// sampling grid needs two pixels per axis; a size outside this could only fail after the whole
// run, or write a useless 2 x 2 picture over an earlier result.
inline constexpr int32_t kMaxPanoramaSide = 65500;
// A TIFF or a PNG holds more than any budget renders; the render's plane positions stay exact
// to well under a pixel in floats up to 2^20 pixels a side.
inline constexpr int32_t kLargestPanoramaSide = 1 << 20;
inline constexpr OptionRange kPanoramaSideRange{2, kLargestPanoramaSide,
                                                "(a panorama side must be at least 2 pixels; a JPEG file "
                                                "holds at most 65500, a TIFF or PNG more)"};
// The largest side of a panorama in the named output format.
inline constexpr int32_t largestPanoramaSide(std::string_view format) {
    return format == "jpeg" ? kMaxPanoramaSide : kLargestPanoramaSide;
}
inline constexpr OptionRange kFeatureMinDimRange{0, 100000};
inline constexpr OptionRange kBlendingBandsRange{2, 100000};
inline constexpr OptionRange kRansacIterationsRange{0, 100000};
inline constexpr OptionRange kJpegQualityRange{0, 100};
inline constexpr OptionRange kThreadsRange{0, 256, "(0 uses one thread per core)"};

}  // namespace vantorra
