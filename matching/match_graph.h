#pragma once
// The match graph: images are vertices, and i and j are joined when either ordered pair kept a
// verified match. Its connected components decide which images can form one panorama.

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "matching/match_table.h"

namespace vantorra {

// True when count(i, j) > 0 or count(j, i) > 0: one side's acceptance is enough.
bool joined(const MatchTable& matches, int32_t i, int32_t j);

// Components of two or more images, each ascending, ordered largest first; components of equal
// size keep the order of their lowest image number. Writes the component log lines.
std::vector<std::vector<int32_t>> findComponents(const MatchTable& matches, std::ostream& log);

}  // namespace vantorra
