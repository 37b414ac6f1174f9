#pragma once
// The output mapping's section of the parameter file, after the records and the lens section:
//
//     [output projection width height scale column row]
//     output NAME W H S CX CY
//     O00 O01 O02
//     O10 O11 O12
//     O20 O21 O22
//
// (core/output_mapping.h says what the numbers mean). A reader that knows no such section stops
// at the marker line, a record whose size is not a number, as it does at the lens section.

#include <string>

#include "core/output_mapping.h"

namespace vantorra {

class ParameterLines;

inline constexpr const char* kOutputSection = "[output projection width height scale column row]";

// The section's lines, each ended by a line feed; the numbers keep every digit a float holds.
std::string outputSection(const OutputMapping& mapping);

// Reads what follows the marker line into `mapping`: empty when it is whole, else why not (a
// size that is not positive, a scale that is not, a number that is not finite, a rotation that
// is not one). All or nothing: `mapping` is set only when the section is whole.
std::string readOutputSection(ParameterLines& lines, OutputMapping& mapping);

}  // namespace vantorra
