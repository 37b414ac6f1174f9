#pragma once
// File names and format names compared without regard to case (ASCII letters only: an
// extension's letters are ASCII, and a locale must not change what a name means).

#include <algorithm>
#include <cctype>
#include <string>

namespace vantorra {

inline std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c < 0x80 ? std::tolower(c) : c); });
    return text;
}

}  // namespace vantorra
