#include "render/binary_cut.h"

#include <boost/graph/boykov_kolmogorov_max_flow.hpp>
#include <boost/graph/compressed_sparse_row_graph.hpp>
#include <boost/property_map/property_map.hpp>
#include <boost/range/iterator_range.hpp>

#include <algorithm>
#include <utility>

namespace vantorra {

void CutGraph::reset(int nodes) {
    const size_t n = static_cast<size_t>(nodes);
    takeCost.assign(n, 0);
    keepCost.assign(n, 0);
    neighbour.assign(4 * n, -1);
    seamCost.assign(4 * n, 0);
}

namespace {

using Graph = boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, boost::no_property,
                                                 boost::no_property, uint32_t, uint32_t>;
using Edge = boost::graph_traits<Graph>::edge_descriptor;

// The directed edges sorted by their first node: each node's neighbours, then the source and
// the sink; then the source's edge to every node, then the sink's. `capacity` and `reverse`
// (the index of the opposite edge) follow the same order.
struct EdgeList {
    std::vector<std::pair<uint32_t, uint32_t>> ends;
    std::vector<int32_t> capacity;
    std::vector<uint32_t> reverse;
};

EdgeList edgesOf(const CutGraph& g) {
    const uint32_t n = static_cast<uint32_t>(g.count()), source = n, sink = n + 1;
    EdgeList e;
    // first[v]: index of node v's first edge; its neighbour edges come in side order.
    std::vector<uint32_t> first(n + 1, 0);
    for (uint32_t v = 0; v < n; ++v) {
        uint32_t degree = 2;
        for (int s = 0; s < 4; ++s) degree += g.neighbour[4 * v + s] >= 0;
        first[v + 1] = first[v] + degree;
    }
    const size_t total = first[n] + 2 * size_t{n};
    e.ends.reserve(total);
    e.capacity.reserve(total);
    e.reverse.reserve(total);
    auto slotOf = [&](uint32_t v, uint32_t towards) {  // index of v's edge to neighbour `towards`
        uint32_t at = first[v];
        for (int s = 0; s < 4; ++s) {
            const int32_t q = g.neighbour[4 * v + s];
            if (q < 0) continue;
            if (static_cast<uint32_t>(q) == towards) return at;
            ++at;
        }
        return at;
    };
    for (uint32_t v = 0; v < n; ++v) {
        for (int s = 0; s < 4; ++s) {
            const int32_t q = g.neighbour[4 * v + s];
            if (q < 0) continue;
            e.ends.emplace_back(v, static_cast<uint32_t>(q));
            e.capacity.push_back(g.seamCost[4 * v + s]);
            e.reverse.push_back(slotOf(static_cast<uint32_t>(q), v));
        }
        e.ends.emplace_back(v, source);  // the opposite of source -> v
        e.capacity.push_back(0);
        e.reverse.push_back(first[n] + v);
        e.ends.emplace_back(v, sink);
        e.capacity.push_back(g.keepCost[v]);
        e.reverse.push_back(first[n] + n + v);
    }
    for (uint32_t v = 0; v < n; ++v) {
        e.ends.emplace_back(source, v);
        e.capacity.push_back(g.takeCost[v]);
        e.reverse.push_back(first[v + 1] - 2);
    }
    for (uint32_t v = 0; v < n; ++v) {
        e.ends.emplace_back(sink, v);
        e.capacity.push_back(0);
        e.reverse.push_back(first[v + 1] - 1);
    }
    return e;
}

}  // namespace

void minimumCut(const CutGraph& cut, std::vector<uint8_t>& takesNew) {
    const uint32_t n = static_cast<uint32_t>(cut.count());
    takesNew.assign(n, 0);
    if (n == 0) return;
    EdgeList e = edgesOf(cut);
    const Graph g(boost::edges_are_sorted, e.ends.begin(), e.ends.end(), n + 2);
    e.ends.clear();
    e.ends.shrink_to_fit();
    std::vector<int32_t> residual(e.capacity.size(), 0);
    std::vector<Edge> reverse(e.capacity.size());
    const auto edgeIndex = get(boost::edge_index, g);
    for (const Edge& edge : boost::make_iterator_range(boost::edges(g)))
        reverse[get(edgeIndex, edge)] = Edge(boost::target(edge, g), e.reverse[get(edgeIndex, edge)]);
    std::vector<Edge> predecessor(n + 2);
    std::vector<boost::default_color_type> colour(n + 2);
    std::vector<int64_t> distance(n + 2, 0);
    const auto vertexIndex = get(boost::vertex_index, g);
    boost::boykov_kolmogorov_max_flow(
        g, boost::make_iterator_property_map(e.capacity.begin(), edgeIndex),
        boost::make_iterator_property_map(residual.begin(), edgeIndex),
        boost::make_iterator_property_map(reverse.begin(), edgeIndex),
        boost::make_iterator_property_map(predecessor.begin(), vertexIndex),
        boost::make_iterator_property_map(colour.begin(), vertexIndex),
        boost::make_iterator_property_map(distance.begin(), vertexIndex), vertexIndex, n, n + 1);
    // The source's side (black) keeps its label; the sink's and the free nodes take the new one.
    const auto black = boost::color_traits<boost::default_color_type>::black();
    for (uint32_t v = 0; v < n; ++v) takesNew[v] = colour[v] != black;
}

}  // namespace vantorra
