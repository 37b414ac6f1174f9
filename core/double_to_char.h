#pragma once
// Number-to-text for the Options dialog's "System Memory (Gb)" box: a fixed count of decimals,
// always written out ("1.00", not "1").

#include <string>

namespace vantorra {

// value rounded to `decimals` places: "-" when negative, the integer digits (or "0." and the
// leading zeros for values below one), ".", then the decimals. 0.25 -> "0.25", 1 -> "1.00".
// Infinite and undefined values come back as "inf", "-inf" or "nan".
std::string double_to_char(double value, int decimals);

}  // namespace vantorra
