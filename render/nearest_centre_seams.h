#pragma once
// The nearest-centre rule: each pixel goes to the photograph whose centre is nearest, which is
// the one with the largest tent weight there (1 at a photograph's centre, 0 at its border).
// Nothing spans blocks, so the rule costs no memory of its own: each block decides from its
// own samples. The multi-band compositor softens the rule per band; the compositors that pick
// no photograph per pixel keep their own rules (none: the later photograph; linear: the
// weighted mean of all).

#include <memory>
#include <vector>

#include "core/image.h"
#include "core/thread_pool.h"
#include "render/footprint.h"
#include "render/seam_finder.h"

namespace vantorra {

// The region's mask: 1 where its weight is the largest at that block pixel (ties shared), and
// that largest weight is above 0; else 0.
void computeWinnerMask(RenderRegion& region, const FloatImage& maxWeight, ThreadPool* pool = nullptr);

class NearestCentreSeams final : public SeamFinder, public BlockSeams {
public:
    int64_t heldBytes(const SeamInput&) const override { return 0; }
    int64_t blockPixelBytes(int) const override { return 0; }
    std::unique_ptr<BlockSeams> find(const SeamInput& input) const override;
    void markBlock(std::vector<ImageFootprint>& footprints, const FloatImage& maxWeight,
                   ThreadPool* pool) const override;
};

}  // namespace vantorra
