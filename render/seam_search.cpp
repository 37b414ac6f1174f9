#include "render/seam_search.h"

#include "render/cut_levels.h"

#include <algorithm>
#include <cmath>

namespace vantorra {
namespace {

constexpr int32_t kNone = -1;      // the newest photograph does not cover the pixel
constexpr int32_t kFixedNew = -2;  // only the newest photograph covers it
constexpr float kCostUnit = 4.0f;  // capacities are whole numbers: quarters of an intensity level

int32_t capacity(float cost) { return static_cast<int32_t>(std::min(cost * kCostUnit + 0.5f, 1.0e9f)); }

float grey(const float* rgb) { return (rgb[0] + rgb[1] + rgb[2]) * (1.0f / 3.0f); }

}  // namespace

SeamSearch::SeamSearch(const SeamGrid& grid, SeamCosts costs)
    : grid_(grid), costs_(costs), shown_(grid.rows, grid.cols, 3), shownWeight_(grid.rows, grid.cols, 1),
      colour_(grid.rows, grid.cols, 3), weight_(grid.rows, grid.cols, 1),
      labels_(static_cast<size_t>(grid.pixels()), -1), node_(static_cast<size_t>(grid.pixels()), kNone) {}

void SeamSearch::place(int16_t label, size_t p) {
    labels_[p] = label;
    std::copy_n(&colour_.data[3 * p], 3, &shown_.data[3 * p]);
    shownWeight_.data[p] = weight_.data[p];
}

// Pixels only the newest photograph covers become its own; those it shares become nodes.
void SeamSearch::classify(int16_t label, const std::vector<Rect>& rects) {
    nodePixel_.clear();
    for (const Rect& rect : rects)
        for (int r = rect.rowFirst; r <= rect.rowLast; ++r)
            for (int c = rect.colFirst; c <= rect.colLast; ++c) {
                const size_t p = at(r, c);
                if (!(weight_.data[p] > 0.0f) || node_[p] != kNone) continue;
                if (labels_[p] < 0) {
                    node_[p] = kFixedNew;
                    place(label, p);
                } else {
                    node_[p] = static_cast<int32_t>(nodePixel_.size());
                    nodePixel_.push_back(static_cast<uint32_t>(p));
                }
            }
}

// Per node, how much the placed and the newest photographs disagree: the mean colour difference
// and the difference of their grey gradients, then the largest of that within `widen` nodes.
void SeamSearch::differences() {
    const size_t n = nodePixel_.size();
    difference_.assign(n, 0.0f);
    for (size_t v = 0; v < n; ++v) {
        const size_t p = nodePixel_[v];
        const float* a = &shown_.data[3 * p];
        const float* b = &colour_.data[3 * p];
        float d = (std::fabs(a[0] - b[0]) + std::fabs(a[1] - b[1]) + std::fabs(a[2] - b[2])) * (1.0f / 3.0f);
        const int r = static_cast<int>(p / grid_.cols), c = static_cast<int>(p % grid_.cols);
        const int right = c + 1 < grid_.cols ? c + 1 : (grid_.wraps ? 0 : -1);
        for (const size_t q : {right >= 0 ? at(r, right) : p, r + 1 < grid_.rows ? at(r + 1, c) : p}) {
            if (q == p || node_[q] < 0) continue;  // a gradient both photographs have
            d += std::fabs((grey(&shown_.data[3 * q]) - grey(a)) - (grey(&colour_.data[3 * q]) - grey(b)));
        }
        difference_[v] = d;
    }
    // Widened along rows into widened_, then along columns back into difference_.
    widenPass(difference_, widened_, true);
    widenPass(widened_, difference_, false);
    std::swap(widened_, difference_);
}

// to[v] = the largest `from` of the nodes within `widen` of v along its row (or column).
void SeamSearch::widenPass(const std::vector<float>& from, std::vector<float>& to, bool alongRows) const {
    to = from;
    for (size_t v = 0; v < nodePixel_.size(); ++v) {
        const int r = static_cast<int>(nodePixel_[v] / grid_.cols), c = static_cast<int>(nodePixel_[v] % grid_.cols);
        for (int k = -costs_.widen; k <= costs_.widen; ++k) {
            int rr = alongRows ? r : r + k, cc = alongRows ? c + k : c;
            if (rr < 0 || rr >= grid_.rows) continue;
            if (cc < 0 || cc >= grid_.cols) {
                if (!grid_.wraps) continue;
                cc = (cc + grid_.cols) % grid_.cols;
            }
            const int32_t q = node_[at(rr, cc)];
            if (q >= 0) to[v] = std::max(to[v], from[static_cast<size_t>(q)]);
        }
    }
}

// Half the cost of a seam step at pixel p where nothing differs: least where both photographs'
// centres are equally near, so that such seams run down the middle of an overlap. (A pull per
// pixel towards the nearer centre would do the same as a data term, but would tie every node to
// a terminal, which slows the max-flow several times over.)
float SeamSearch::step(size_t p) const {
    return 0.5f * costs_.perPixel + costs_.centrePull * std::fabs(weight_.data[p] - shownWeight_.data[p]);
}

void SeamSearch::buildGraph() {
    const size_t n = nodePixel_.size();
    graph_.reset(static_cast<int>(n));
    for (size_t v = 0; v < n; ++v) {
        const size_t p = nodePixel_[v];
        const int r = static_cast<int>(p / grid_.cols), c = static_cast<int>(p % grid_.cols);
        const int left = c > 0 ? c - 1 : (grid_.wraps ? grid_.cols - 1 : -1);
        const int right = c + 1 < grid_.cols ? c + 1 : (grid_.wraps ? 0 : -1);
        const int sides[4][2] = {{r - 1, c}, {r, left}, {r, right}, {r + 1, c}};
        for (int s = 0; s < 4; ++s) {
            const int rr = sides[s][0], cc = sides[s][1];
            if (rr < 0 || rr >= grid_.rows || cc < 0) continue;
            const size_t q = at(rr, cc);
            const int32_t other = node_[q];
            if (other >= 0) {  // both undecided: the cut may run between them
                graph_.neighbour[4 * v + s] = other;
                graph_.seamCost[4 * v + s] =
                    capacity(widened_[v] + widened_[static_cast<size_t>(other)] + step(p) + step(q));
            } else if (other == kFixedNew) {  // keeping the old label draws a seam here
                graph_.keepCost[v] += capacity(2.0f * (widened_[v] + step(p)));
            } else if (labels_[q] >= 0) {  // only the placed photographs: taking the new one does
                graph_.takeCost[v] += capacity(2.0f * (widened_[v] + step(p)));
            }
        }
    }
}

void SeamSearch::add(int16_t label, const std::vector<Rect>& rects) {
    classify(label, rects);
    differences();
    buildGraph();
    minimumCutCoarseToFine(graph_, nodePixel_, grid_.cols, takes_);
    for (size_t v = 0; v < nodePixel_.size(); ++v)
        if (takes_[v]) place(label, nodePixel_[v]);
    for (const Rect& rect : rects)
        for (int r = rect.rowFirst; r <= rect.rowLast; ++r) {
            const size_t first = at(r, rect.colFirst), end = at(r, rect.colLast) + 1;
            std::fill(node_.begin() + first, node_.begin() + end, kNone);
            std::fill(weight_.data.begin() + first, weight_.data.begin() + end, 0.0f);
            std::fill(colour_.data.begin() + 3 * first, colour_.data.begin() + 3 * end, 0.0f);
        }
}

}  // namespace vantorra
