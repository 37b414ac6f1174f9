#include "render/cut_levels.h"

#include <algorithm>
#include <cstdint>
#include <vector>


namespace vantorra {
namespace {

// The graph of 2 x 2 pixel groups: a group's costs are the sums of its pixels' costs and of the
// seams between its pixels and each neighbouring group (a fine edge on side s always reaches
// the group on side s). `group` gets each fine node's group node.
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
    coarse.reset(static_cast<int>(coarsePixel.size()));
    for (size_t v = 0; v < n; ++v) {
        const size_t g = static_cast<size_t>(group[v]);
        coarse.takeCost[g] += fine.takeCost[v];
        coarse.keepCost[g] += fine.keepCost[v];
        for (int s = 0; s < 4; ++s) {
            const int32_t q = fine.neighbour[4 * v + s];
            if (q < 0 || group[static_cast<size_t>(q)] == group[v]) continue;
            coarse.neighbour[4 * g + s] = group[static_cast<size_t>(q)];
            coarse.seamCost[4 * g + s] += fine.seamCost[4 * v + s];
        }
    }
    return coarse;
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
    // Groups on the coarse seam (a neighbour on the other side) and their neighbours stay open.
    const size_t m = coarsePixel.size();
    std::vector<uint8_t> open(m, 0);
    for (size_t g = 0; g < m; ++g)
        for (int s = 0; s < 4; ++s) {
            const int32_t h = coarse.neighbour[4 * g + s];
            if (h >= 0 && coarseTakes[static_cast<size_t>(h)] != coarseTakes[g]) open[g] = 1;
        }
    std::vector<uint8_t> band = open;
    for (size_t g = 0; g < m; ++g)
        if (open[g])
            for (int s = 0; s < 4; ++s)
                if (const int32_t h = coarse.neighbour[4 * g + s]; h >= 0) band[static_cast<size_t>(h)] = 1;
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
