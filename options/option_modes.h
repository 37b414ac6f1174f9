#pragma once
// The choices among the options, as enums. Their integer values are the ones the Options
// dialog's lists and stored settings use; modeFrom is the one checked way back from an integer,
// so an unknown value is refused rather than read as some default.

#include <cstdint>
#include <optional>

namespace vantorra {

enum class SizeMode : int32_t { Width = 0, Height = 1, Scale = 2 };
enum class ImageRotation : int32_t { None = 0, Clockwise = 1, Anticlockwise = 2, UpsideDown = 3 };
enum class SiftSizeMode : int32_t { MinDimension = 0, Scale = 1 };
// How the detector treats the feature image: doubled with the doubled level searched, doubled
// without searching that level, or as it is.
enum class DetectorMode : int32_t { DoubledSearched = 0, Doubled = 1, AsIs = 2 };

// The number of values of each mode (they run from 0).
template <typename Mode>
struct ModeCount;
template <> struct ModeCount<SizeMode> { static constexpr int32_t value = 3; };
template <> struct ModeCount<ImageRotation> { static constexpr int32_t value = 4; };
template <> struct ModeCount<SiftSizeMode> { static constexpr int32_t value = 2; };
template <> struct ModeCount<DetectorMode> { static constexpr int32_t value = 3; };

template <typename Mode>
constexpr int32_t modeValue(Mode mode) {
    return static_cast<int32_t>(mode);
}

template <typename Mode>
constexpr std::optional<Mode> modeFrom(int32_t value) {
    if (value < 0 || value >= ModeCount<Mode>::value) return std::nullopt;
    return static_cast<Mode>(value);
}

}  // namespace vantorra
