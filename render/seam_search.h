#pragma once
// The state of a seam search on the seam grid: what the photographs placed so far show (the
// colour and the centre weight of each pixel's label), the labels, and the newest photograph's
// samples. `add` places the next photograph: it takes the pixels no earlier one covers, and a
// minimum cut decides the pixels it shares.

#include <cstdint>
#include <utility>
#include <vector>

#include "core/image.h"
#include "render/binary_cut.h"
#include "render/seam_grid.h"

namespace vantorra {

struct SeamCosts {
    int widen = 1;          // a seam keeps this many seam pixels away from a difference
    float perPixel = 1.0f;  // added to every seam step, so that among equal seams the shortest wins
    float centrePull = 2.0f;  // per seam step and unit of centre weight between the two photographs
};

class SeamSearch {
public:
    SeamSearch(const SeamGrid& grid, SeamCosts costs);

    // The newest photograph's samples and weights (> 0 where it covers), the grid's size; the
    // caller fills them inside `rects` (inclusive row/column bounds on the grid) and `add` clears them.
    FloatImage& colour() { return colour_; }
    FloatImage& weight() { return weight_; }
    struct Rect {
        int rowFirst, rowLast, colFirst, colLast;
    };
    // Places photograph `label` (component position) whose samples lie inside `rects`.
    void add(int16_t label, const std::vector<Rect>& rects);

    std::vector<int16_t> takeLabels() { return std::move(labels_); }
    const std::vector<int16_t>& labels() const { return labels_; }

private:
    size_t at(int r, int c) const { return static_cast<size_t>(r) * grid_.cols + c; }
    void classify(int16_t label, const std::vector<Rect>& rects);
    void differences();
    void widenPass(const std::vector<float>& from, std::vector<float>& to, bool alongRows) const;
    void buildGraph();
    float step(size_t pixel) const;
    void place(int16_t label, size_t pixel);

    SeamGrid grid_;
    SeamCosts costs_;
    FloatImage shown_, shownWeight_;  // the placed photographs: colour and centre weight
    FloatImage colour_, weight_;      // the newest photograph
    std::vector<int16_t> labels_;
    std::vector<int32_t> node_;       // per pixel: node of the cut, kFixedNew, or kNone
    std::vector<uint32_t> nodePixel_;  // per node its pixel
    std::vector<float> difference_, widened_;  // per node
    CutGraph graph_;
    std::vector<uint8_t> takes_;
};

}  // namespace vantorra
