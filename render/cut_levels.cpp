#include "render/cut_levels.h"

#include <algorithm>
#include <cstdint>
#include <vector>


namespace vantorra {
namespace {

// The graph of 2 x 2 pixel groups: a group's costs are the sums of its pixels' costs. A seam
// between two groups costs the cheapest of the straight seams it stands for: along their common
// border (the fine seams between them; a fine edge on side s always reaches the group on side
// s) or through the middle of either group, so that a valley of the costs narrower than a group
// still shows at the coarse level. `group` gets each fine node's group node.
CutGraph coarsen(const CutGraph& fine, const std::vector<uint32_t>& pixel, int cols, std::vector<uint32_t>& coarsePixel,
                 std::vector<int32_t>& group) {
    const int coarseCols = (cols + 1) / 2;
    const size_t n = static_cast<size_t>(fine.count());
    std::vector<uint32_t> key(n);
    for (size_t v = 0; v < n; ++v) {
        const uint32_t r = pixel[v] / static_cast<uint32_t>(cols), c = pixel[v] % static_cast<uint32_t>(cols);
        key[v] = (r / 2) * static_cast<uint32_t>(coarseCols) + c / 2;
    }
    coarsePixel = key;
    std::sort(coarsePixel.begin(), coarsePixel.end());
    coarsePixel.erase(std::unique(coarsePixel.begin(), coarsePixel.end()), coarsePixel.end());
    group.resize(n);
    for (size_t v = 0; v < n; ++v)
        group[v] = static_cast<int32_t>(std::lower_bound(coarsePixel.begin(), coarsePixel.end(), key[v]) -
                                        coarsePixel.begin());
    CutGraph coarse;
    const size_t m = coarsePixel.size();
    coarse.reset(static_cast<int>(m));
    // Per group, the seam through its middle: [0] between its columns, [1] between its rows
    // (-1 where it has none).
    std::vector<int32_t> middle(2 * m, -1);
    for (size_t v = 0; v < n; ++v) {
        const size_t g = static_cast<size_t>(group[v]);
        coarse.takeCost[g] += fine.takeCost[v];
        coarse.keepCost[g] += fine.keepCost[v];
        for (int s = 0; s < 4; ++s) {
            const int32_t q = fine.neighbour[4 * v + s];
            if (q < 0) continue;
            if (group[static_cast<size_t>(q)] != group[v]) {
                coarse.neighbour[4 * g + s] = group[static_cast<size_t>(q)];
                coarse.seamCost[4 * g + s] += fine.seamCost[4 * v + s];
            } else if (s == 2 || s == 3) {  // right or down inside the group: each inner edge once
                int32_t& line = middle[2 * g + (s == 3)];
                line = std::max(line, 0) + fine.seamCost[4 * v + s];
            }
        }
    }
    for (size_t g = 0; g < m; ++g)
        for (int s = 0; s < 4; ++s) {
            const int32_t h = coarse.neighbour[4 * g + s];
            if (h < 0) continue;
            const int across = s == 0 || s == 3;  // up and down cross the rows
            for (const int32_t line : {middle[2 * g + across], middle[2 * static_cast<size_t>(h) + across]})
                if (line >= 0) coarse.seamCost[4 * g + s] = std::min(coarse.seamCost[4 * g + s], line);
        }
    return coarse;
}

// Per group, 1 when it lies on the coarse seam (a neighbour on the other side) or next to
// such a group: the pixels cut again at the finer level.
std::vector<uint8_t> nearTheSeam(const CutGraph& coarse, const std::vector<uint8_t>& takes) {
    const size_t m = static_cast<size_t>(coarse.count());
    std::vector<uint8_t> onSeam(m, 0);
    for (size_t g = 0; g < m; ++g)
        for (int s = 0; s < 4; ++s) {
            const int32_t h = coarse.neighbour[4 * g + s];
            if (h >= 0 && takes[static_cast<size_t>(h)] != takes[g]) onSeam[g] = 1;
        }
    std::vector<uint8_t> band = onSeam;
    for (size_t g = 0; g < m; ++g)
        if (onSeam[g])
            for (int s = 0; s < 4; ++s)
                if (const int32_t h = coarse.neighbour[4 * g + s]; h >= 0) band[static_cast<size_t>(h)] = 1;
    return band;
}

}  // namespace

void minimumCutCoarseToFine(const CutGraph& fine, const std::vector<uint32_t>& pixel, int cols,
                            std::vector<uint8_t>& takesNew, int direct) {
    const size_t n = static_cast<size_t>(fine.count());
    if (fine.count() <= direct || cols < 4) {
        minimumCut(fine, takesNew);
        return;
    }
    std::vector<uint32_t> coarsePixel;
    std::vector<int32_t> group;
    const CutGraph coarse = coarsen(fine, pixel, cols, coarsePixel, group);
    std::vector<uint8_t> coarseTakes;
    minimumCutCoarseToFine(coarse, coarsePixel, (cols + 1) / 2, coarseTakes, direct);
    const std::vector<uint8_t> band = nearTheSeam(coarse, coarseTakes);
    // The open pixels' graph; a seam to a settled pixel is paid as a cost of the open pixel's side.
    takesNew.assign(n, 0);
    std::vector<int32_t> local(n, -1);
    std::vector<uint32_t> openPixel;
    for (size_t v = 0; v < n; ++v) {
        takesNew[v] = coarseTakes[static_cast<size_t>(group[v])];
        if (band[static_cast<size_t>(group[v])]) {
            local[v] = static_cast<int32_t>(openPixel.size());
            openPixel.push_back(static_cast<uint32_t>(v));
        }
    }
    CutGraph part;
    part.reset(static_cast<int>(openPixel.size()));
    for (size_t i = 0; i < openPixel.size(); ++i) {
        const size_t v = openPixel[i];
        part.takeCost[i] = fine.takeCost[v];
        part.keepCost[i] = fine.keepCost[v];
        for (int s = 0; s < 4; ++s) {
            const int32_t q = fine.neighbour[4 * v + s];
            if (q < 0) continue;
            if (local[static_cast<size_t>(q)] >= 0) {
                part.neighbour[4 * i + s] = local[static_cast<size_t>(q)];
                part.seamCost[4 * i + s] = fine.seamCost[4 * v + s];
            } else if (takesNew[static_cast<size_t>(q)]) {
                part.keepCost[i] += fine.seamCost[4 * v + s];
            } else {
                part.takeCost[i] += fine.seamCost[4 * v + s];
            }
        }
    }
    std::vector<uint8_t> partTakes;
    minimumCut(part, partTakes);
    for (size_t i = 0; i < openPixel.size(); ++i) takesNew[openPixel[i]] = partTakes[i];
}

}  // namespace vantorra
