#pragma once
// Seams drawn around what differs: on the reduced seam grid (seam_grid.h) the photographs are
// added one at a time in component order, and where a new one overlaps those placed before, a
// minimum cut (binary_cut.h) decides which pixels it takes. A seam between two pixels costs what
// the photographs on its two sides disagree on there after gains (colour, and gradient so that
// seams follow edges rather than cross them), widened so that a seam keeps the blend's width
// away from a difference; a weak pull towards the photograph whose centre is nearer decides
// where nothing differs. Every covered pixel gets exactly one photograph.
//
// The labels are held for the render at two bytes a seam pixel and carried to each block at
// full resolution straight into the regions' masks (which the compositors count).

#include <cstdint>
#include <memory>
#include <vector>

#include "render/seam_finder.h"
#include "render/seam_grid.h"

namespace vantorra {

// The labels of a render: per seam pixel the component position of the photograph it takes, or
// -1 where none covers it.
class CutLabels final : public BlockSeams {
public:
    CutLabels(SeamGrid grid, std::vector<int16_t> labels) : grid_(grid), labels_(std::move(labels)) {}
    // A covered block pixel goes to its label's photograph when that one covers it at full
    // resolution, else (the rim of a photograph finer than the seam grid) to the first
    // photograph with the largest weight there.
    void markBlock(std::vector<ImageFootprint>& footprints, const FloatImage& maxWeight,
                   ThreadPool* pool) const override;
    bool labels() const override { return true; }
    const SeamGrid& grid() const { return grid_; }
    const std::vector<int16_t>& seamLabels() const { return labels_; }

private:
    SeamGrid grid_;
    std::vector<int16_t> labels_;
};

class CutSeams final : public SeamFinder {
public:
    int64_t heldBytes(const SeamInput& input) const override;
    int64_t blockPixelBytes(int) const override { return 0; }
    std::unique_ptr<BlockSeams> find(const SeamInput& input) const override;
    bool labels() const override { return true; }
};

}  // namespace vantorra
