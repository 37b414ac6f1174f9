#pragma once
// A two-way labelling of the pixels of an overlap by minimum cut: every node keeps the label it
// has (the photographs chosen so far) or takes the new photograph's, and the cut pays what the
// seam it draws crosses. The max-flow is the Boykov-Kolmogorov one of Boost Graph, on a
// compressed graph made in one pass (a few allocations for the whole graph, none per node).

#include <cstdint>
#include <vector>

namespace vantorra {

// The graph of one cut: nodes 0 .. count() - 1, each with up to four neighbours.
struct CutGraph {
    // Per node: the cost of taking the new label and of keeping the old one.
    std::vector<int32_t> takeCost, keepCost;
    // Per node and side (4 * node + side), the neighbour node or -1, and the cost of a seam
    // between them; a pair's two entries must carry the same cost.
    std::vector<int32_t> neighbour, seamCost;

    int count() const { return static_cast<int>(takeCost.size()); }
    // Empties the graph for `nodes` nodes, keeping the storage.
    void reset(int nodes);
};

// Per node, 1 where the minimum cut gives it the new label, else 0.
void minimumCut(const CutGraph& graph, std::vector<uint8_t>& takesNew);

}  // namespace vantorra
