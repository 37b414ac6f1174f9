#include "matching/match_graph.h"

#include <algorithm>
#include <ostream>

namespace vantorra {

bool joined(const MatchTable& matches, int32_t i, int32_t j) {
    return matches.count(i, j) > 0 || matches.count(j, i) > 0;
}

namespace {

// Grows the component of `seed` in passes; each pass adds the images joined to a member known at
// its start, and growth ends with the first pass that adds nothing.
std::vector<int32_t> growComponent(const MatchTable& matches, int32_t seed) {
    const int32_t n = matches.size();
    std::vector<uint8_t> member(static_cast<size_t>(n), 0);
    std::vector<int32_t> members{seed};
    member[seed] = 1;
    for (;;) {
        std::vector<int32_t> added;
        for (int32_t j = 0; j < n; ++j) {
            if (member[j]) continue;
            for (const int32_t i : members)
                if (joined(matches, i, j)) {
                    added.push_back(j);
                    break;
                }
        }
        if (added.empty()) break;
        for (const int32_t j : added) member[j] = 1;
        members.insert(members.end(), added.begin(), added.end());
    }
    std::sort(members.begin(), members.end());
    return members;
}

}  // namespace

std::vector<std::vector<int32_t>> findComponents(const MatchTable& matches, std::ostream& log) {
    log << "[ Finding connected components ]" << std::endl;
    const int32_t n = matches.size();
    std::vector<uint8_t> visited(static_cast<size_t>(n), 0);
    std::vector<std::vector<int32_t>> components;
    for (int32_t seed = 0; seed < n; ++seed) {
        if (visited[seed]) continue;
        std::vector<int32_t> component = growComponent(matches, seed);
        for (const int32_t i : component) visited[i] = 1;
        if (component.size() >= 2) components.push_back(std::move(component));
    }
    std::stable_sort(components.begin(), components.end(),
                     [](const auto& a, const auto& b) { return a.size() > b.size(); });
    log << "[ Found " << components.size() << " connected components ]" << std::endl;
    for (const auto& component : components) {
        log << " ";
        for (const int32_t i : component) log << i << " ";
        log << std::endl;
    }
    log << std::endl;
    return components;
}

}  // namespace vantorra
