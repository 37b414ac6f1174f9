#include "io/output_section.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>

#include "io/parameter_lines.h"

namespace vantorra {
namespace {

template <typename T>
bool readValue(ParameterLines& lines, T& value) {
    std::string word;
    if (!lines.nextWord(word)) return false;
    const char* end = word.data() + word.size();
    const auto [stop, failure] = std::from_chars(word.data(), end, value);
    if constexpr (std::is_floating_point_v<T>)
        if (!std::isfinite(value)) return false;
    return failure == std::errc() && stop == end;
}

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// Within the parameter file's tolerance for rotations (six digits, or a hand edit).
bool isRotation(const Mat3& m) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double dot = 0;
            for (int k = 0; k < 3; ++k) dot += static_cast<double>(m(i, k)) * m(j, k);
            if (std::fabs(dot - (i == j ? 1.0 : 0.0)) > 1e-3) return false;
        }
    const double det = m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) -
                       m(0, 1) * (m(1, 0) * m(2, 2) - m(1, 2) * m(2, 0)) +
                       m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
    return det > 0.0;
}

}  // namespace

std::string outputSection(const OutputMapping& mapping) {
    std::string text = std::string(kOutputSection) + "\noutput " + mapping.projection + ' ' +
                       std::to_string(mapping.width) + ' ' + std::to_string(mapping.height) + ' ' +
                       number(mapping.scale) + ' ' + number(mapping.centreColumn) + ' ' +
                       number(mapping.centreRow) + '\n';
    for (int r = 0; r < 3; ++r)
        text += number(mapping.rotation(r, 0)) + ' ' + number(mapping.rotation(r, 1)) + ' ' +
                number(mapping.rotation(r, 2)) + '\n';
    return text;
}

std::string readOutputSection(ParameterLines& lines, OutputMapping& mapping) {
    const std::string where = "the output mapping ";
    OutputMapping read;
    std::string word;
    if (!lines.nextWord(word) || word != "output" || !lines.nextWord(read.projection))
        return where + "is missing its output line";
    if (!readValue(lines, read.width) || !readValue(lines, read.height) || read.width < 2 || read.height < 2)
        return where + "has no size of two pixels or more a side";
    if (!readValue(lines, read.scale) || !(read.scale > 0.0) || !readValue(lines, read.centreColumn) ||
        !readValue(lines, read.centreRow))
        return where + "has no positive scale and centre";
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (!readValue(lines, read.rotation(r, c))) return where + "is cut short or not a number in its rotation";
    if (!isRotation(read.rotation)) return where + "has a rotation that is not one";
    mapping = std::move(read);
    return std::string();
}

}  // namespace vantorra
