#include "core/double_to_char.h"

#include <algorithm>
#include <cmath>
#include <charconv>
#include <vector>

namespace vantorra {

namespace {

// Digits of |value| rounded to `decimals` places with the position of the decimal point, the
// way the C library's fixed-point conversion gives them: no leading zeros, and for a value
// below one the point position counts the zeros after the point as negative.
struct FixedDigits {
    std::string digits;
    int pointPosition = 0;
};

FixedDigits fixedDigits(double magnitude, int decimals) {
    // The largest finite double has 309 integer digits.
    std::vector<char> text(330 + static_cast<size_t>(decimals));
    const auto result = std::to_chars(text.data(), text.data() + text.size(), magnitude, std::chars_format::fixed, decimals);
    const std::string fixed(text.data(), result.ptr);

    const size_t point = fixed.find('.');
    const std::string integerPart = fixed.substr(0, point);
    const std::string fraction = point == std::string::npos ? std::string() : fixed.substr(point + 1);

    FixedDigits out;
    if (integerPart != "0") {
        out.digits = integerPart + fraction;
        out.pointPosition = static_cast<int>(integerPart.size());
        return out;
    }
    const size_t firstNonZero = std::min(fraction.find_first_not_of('0'), fraction.size());
    out.digits = fraction.substr(firstNonZero);
    out.pointPosition = -static_cast<int>(firstNonZero);
    return out;
}

}  // namespace

std::string double_to_char(double value, int decimals) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    decimals = std::max(decimals, 0);

    const FixedDigits fixed = fixedDigits(std::fabs(value), decimals);
    std::string text;
    text.reserve(std::max(fixed.digits.size(), static_cast<size_t>(decimals)) + 3);
    if (std::signbit(value)) text += '-';
    if (fixed.pointPosition > 0) {
        const size_t integerDigits = static_cast<size_t>(fixed.pointPosition);
        text += fixed.digits.substr(0, integerDigits);
        text += '.';
        text += fixed.digits.substr(std::min(integerDigits, fixed.digits.size()));
    } else {
        text += "0.";
        text.append(static_cast<size_t>(-fixed.pointPosition), '0');
        text += fixed.digits;
    }
    return text;
}

}  // namespace vantorra
