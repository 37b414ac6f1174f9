#pragma once
// Minimum cuts of pixel graphs found coarse to fine, so that wide overlaps cost the max-flow
// little more than the pixels near their seams.

#include <cstdint>
#include <vector>

#include "render/binary_cut.h"

namespace vantorra {

// The same for a graph whose nodes are pixels of a grid `cols` wide (`pixel` per node, its
// neighbours on sides up, left, right, down), found coarse to fine: the graph of 2 x 2 pixel
// groups is cut first (recursively, while it has more than `direct` nodes), then only the
// pixels within one group of the coarse seam are cut again at full resolution, the others
// keeping their group's side. A seam through a gap narrower than a group can be missed; the
// max-flow's time on the wide flat parts of an overlap is saved.
void minimumCutCoarseToFine(const CutGraph& graph, const std::vector<uint32_t>& pixel, int cols,
                            std::vector<uint8_t>& takesNew, int direct = 20000);

}  // namespace vantorra
