#pragma once
// Text forms of the option fields, shared by the Options dialog and the command-line tool, so
// both show and read a value the same way. Angles are radians in the options and degrees in
// text; percentages and the memory size are shown in the units a user thinks in.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "options/stitch_options.h"

namespace vantorra {

inline constexpr double kBytesPerGigabyte = 1073741824.0;  // 2^30

// The number at the start of `text` after leading white space (an optional sign, digits, a
// point, an exponent), independent of the locale; 0 when the text does not start with one.
double leadingNumber(std::string_view text);

// Integer part of value * 100 + 0.5 followed by "%": 0.1 -> "10%".
std::string percentText(float value);
// Texts of at least two characters give the leading number (after dropping one final "%")
// times 0.01; shorter texts return `previous` unchanged. "5%" -> 0.05, "50" -> 0.5, "5" -> previous.
float readPercent(std::string_view text, float previous);

// systemMemory in gigabytes (2^30 bytes) with two decimals: 2^28 -> "0.25".
std::string memoryText(int64_t bytes);
// Leading number times 2^30, truncated to whole bytes; clamped to the int64 range, 0 for nan.
int64_t readMemory(std::string_view text);

// Radians to degrees and back with kPi, in single precision.
float toDegrees(float radians);
float fromDegrees(float degrees);
// An angle in degrees with up to six significant digits: -pi -> "-180".
std::string angleText(float radians);
// A text of degrees back to radians; nothing when the text is not a number.
std::optional<float> readAngle(std::string_view text);

// A float with up to six significant digits, as the log writes it: 0.375 -> "0.375".
std::string floatText(float value);
// The whole text (surrounding white space allowed) as a float; nothing when it is not a number.
std::optional<float> readFloat(std::string_view text);
// The whole text as an integer in [minimum, maximum]; nothing when it is not one or out of range.
std::optional<int32_t> readInteger(std::string_view text, int32_t minimum, int32_t maximum);

// True when a field that feature matching or verification depends on differs (siftSizeMode,
// siftMinDim, siftScale, alpha, beta, ransacIterations): the cameras must then be registered again.
bool matchingOptionsDiffer(const StitchOptions& a, const StitchOptions& b);

}  // namespace vantorra
