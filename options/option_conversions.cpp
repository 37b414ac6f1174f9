#include "options/option_conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>

#include "core/double_to_char.h"

namespace vantorra {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Parses a number at the start of `text` (no leading white space); the count of characters
// used, or 0 when there is no number. from_chars is used because it ignores the locale, which
// the desktop toolkit may have switched to one with a decimal comma.
size_t parseNumber(std::string_view text, double& value) {
    size_t start = 0;
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        start = 1;
    }
    const char* begin = text.data() + start;
    const char* end = text.data() + text.size();
    if (begin == end || *begin == '+' || *begin == '-') return 0;
    double magnitude = 0.0;
    const auto [next, status] = std::from_chars(begin, end, magnitude, std::chars_format::general);
    if (next == begin) return 0;
    if (status == std::errc::result_out_of_range) {
        // Beyond the double range: a negative exponent means too small, anything else too large.
        const std::string_view matched(begin, static_cast<size_t>(next - begin));
        const size_t exponent = matched.find_first_of("eE");
        const bool tiny = exponent != std::string_view::npos && exponent + 1 < matched.size() &&
                          matched[exponent + 1] == '-';
        magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    value = negative ? -magnitude : magnitude;
    return static_cast<size_t>(next - text.data());
}

}  // namespace

double leadingNumber(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    double value = 0.0;
    return parseNumber(text, value) > 0 ? value : 0.0;
}

std::string percentText(float value) {
    // The product is taken in single precision like every option value: 0.005f shows as "1%".
    const double shown = static_cast<double>(value * 100.0f) + 0.5;
    if (!std::isfinite(shown) || std::fabs(shown) >= 2147483647.0) return floatText(value * 100.0f) + "%";
    return std::to_string(static_cast<int32_t>(shown)) + "%";
}

float readPercent(std::string_view text, float previous) {
    if (text.size() < 2) return previous;
    if (text.back() == '%') text.remove_suffix(1);
    return static_cast<float>(leadingNumber(text) * 0.01);
}

std::string memoryText(int64_t bytes) { return double_to_char(static_cast<double>(bytes) / kBytesPerGigabyte, 2); }

int64_t readMemory(std::string_view text) {
    const double bytes = leadingNumber(text) * kBytesPerGigabyte;
    if (std::isnan(bytes)) return 0;
    // 2^63 is the first double beyond the int64 range; converting it or more is undefined.
    constexpr double kLimit = 9223372036854775808.0;
    if (bytes >= kLimit) return std::numeric_limits<int64_t>::max();
    if (bytes <= -kLimit) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(bytes);
}

float toDegrees(float radians) { return radians * 180.0f / kPi; }

float fromDegrees(float degrees) { return degrees * kPi / 180.0f; }

std::string angleText(float radians) { return floatText(toDegrees(radians)); }

std::optional<float> readAngle(std::string_view text) {
    const std::optional<float> degrees = readFloat(text);
    if (!degrees) return std::nullopt;
    return fromDegrees(*degrees);
}

std::string floatText(float value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

std::optional<float> readFloat(std::string_view text) {
    text = trimmed(text);
    double value = 0.0;
    if (text.empty() || parseNumber(text, value) != text.size()) return std::nullopt;
    return static_cast<float>(value);
}

std::optional<int32_t> readInteger(std::string_view text, int32_t minimum, int32_t maximum) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int64_t value = 0;
    const auto [next, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || next != text.data() + text.size()) return std::nullopt;
    if (value < minimum || value > maximum) return std::nullopt;
    return static_cast<int32_t>(value);
}

bool matchingOptionsDiffer(const StitchOptions& a, const StitchOptions& b) {
    return a.feature.siftSizeMode != b.feature.siftSizeMode || a.feature.siftMinDim != b.feature.siftMinDim ||
           a.feature.siftScale != b.feature.siftScale || a.ransac.alpha != b.ransac.alpha ||
           a.ransac.beta != b.ransac.beta || a.ransac.ransacIterations != b.ransac.ransacIterations;
}

}  // namespace vantorra
