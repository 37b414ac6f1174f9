#pragma once
// Mnemonics without clashes: each caption of a window gets a letter (or digit) of its own that
// Alt and the letter reach, marked with '&' as Qt shows it.

#include <string>
#include <vector>

namespace vantorra {

// The captions with a mnemonic each, none the same as another's or as one in `taken` (which
// receives the new ones, in lower case). The first free letter that begins a word is taken, else
// any free letter or digit; a caption that already has one keeps it. One with no free character
// is left without.
std::vector<std::string> withMnemonics(const std::vector<std::string>& captions, std::string& taken);

// The mnemonic of a caption in lower case, or 0 when it has none ("&&" is a plain ampersand).
char mnemonicOf(const std::string& caption);

}  // namespace vantorra
