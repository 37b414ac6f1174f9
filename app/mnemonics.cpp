#include "app/mnemonics.h"

#include <cctype>
#include <functional>

namespace vantorra {

namespace {

bool usable(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 && static_cast<unsigned char>(c) < 128; }

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// The positions a caption's mnemonic may take, best first: the starts of its words, then the rest.
std::vector<size_t> candidates(const std::string& caption) {
    std::vector<size_t> starts, rest;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (!usable(caption[i])) continue;
        const bool start = i == 0 || caption[i - 1] == ' ' || caption[i - 1] == '(';
        (start ? starts : rest).push_back(i);
    }
    starts.insert(starts.end(), rest.begin(), rest.end());
    return starts;
}

}  // namespace

char mnemonicOf(const std::string& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return lower(caption[i + 1]);
    }
    return 0;
}

// Each caption takes its best free character in turn; one that finds none takes one from another
// caption that can move on to a character still free (an augmenting path), so as many captions as
// the letters allow get one.
std::vector<std::string> withMnemonics(const std::vector<std::string>& captions, std::string& taken) {
    for (const std::string& caption : captions)
        if (const char own = mnemonicOf(caption)) taken += own;
    const std::string fixed = taken;
    std::vector<size_t> position(captions.size(), std::string::npos);
    std::vector<int> owner(128, -1);  // which caption holds a character
    std::vector<bool> visited;
    const std::function<bool(size_t)> place = [&](size_t k) {
        for (const size_t at : candidates(captions[k])) {
            const unsigned char c = static_cast<unsigned char>(lower(captions[k][at]));
            if (fixed.find(static_cast<char>(c)) != std::string::npos || visited[c]) continue;
            visited[c] = true;
            if (owner[c] < 0 || place(static_cast<size_t>(owner[c]))) {
                owner[c] = static_cast<int>(k);
                position[k] = at;
                return true;
            }
        }
        return false;
    };
    // First every caption its best free character, in order; then the ones left without.
    for (size_t k = 0; k < captions.size(); ++k) {
        if (mnemonicOf(captions[k]) != 0) continue;
        for (const size_t at : candidates(captions[k])) {
            const unsigned char c = static_cast<unsigned char>(lower(captions[k][at]));
            if (fixed.find(static_cast<char>(c)) != std::string::npos || owner[c] >= 0) continue;
            owner[c] = static_cast<int>(k);
            position[k] = at;
            break;
        }
    }
    for (size_t k = 0; k < captions.size(); ++k) {
        if (mnemonicOf(captions[k]) != 0 || position[k] != std::string::npos) continue;
        visited.assign(128, false);
        place(k);
    }
    std::vector<std::string> marked;
    for (size_t k = 0; k < captions.size(); ++k) {
        const std::string& caption = captions[k];
        if (position[k] == std::string::npos) {
            marked.push_back(caption);
            continue;
        }
        taken += lower(caption[position[k]]);
        marked.push_back(caption.substr(0, position[k]) + "&" + caption.substr(position[k]));
    }
    return marked;
}

}  // namespace vantorra
