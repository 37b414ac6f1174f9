#include "app/time_left.h"

#include <cmath>

namespace vantorra {

namespace {

constexpr double kLeastSeconds = 3.0;    // before, a slow first stage says little
constexpr double kLeastFraction = 0.03;

}  // namespace

std::optional<double> secondsLeft(double fraction, double elapsed) {
    if (!(fraction >= kLeastFraction) || !(elapsed >= kLeastSeconds) || fraction > 1.0) return std::nullopt;
    return elapsed * (1.0 - fraction) / fraction;
}

std::string timeLeftText(double seconds) {
    if (seconds < 5.0) return "Less than 5 s left";
    if (seconds < 60.0) return "About " + std::to_string(static_cast<int>(std::lround(seconds / 5.0) * 5)) + " s left";
    const long rounded = std::lround(seconds / 10.0) * 10;  // to ten seconds
    const long minutes = rounded / 60, rest = rounded % 60;
    if (minutes >= 10 || rest == 0) return "About " + std::to_string(std::lround(seconds / 60.0)) + " min left";
    return "About " + std::to_string(minutes) + " min " + std::to_string(rest) + " s left";
}

}  // namespace vantorra
