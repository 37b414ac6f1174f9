// The seams: the nearest-centre rule gives a pixel to the largest weight and shares ties, and
// every finder of the table gives each covered pixel of a block to a photograph that covers it
// and leaves the uncovered ones to none.

#include "render/seam_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/null_stream.h"
#include "render/prepared_source.h"
#include "render/projection_registry.h"
#include "render/samplers.h"
#include "render/seam_registry.h"
#include "support/render_support.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

TEST(SeamFinders, NearestCentreGoesToTheLargestWeightAndSharesTies) {
    const float weights[3][8] = {{0.5f, 0.3f, 0.2f, 0.0f, 0.0f, 1e-6f, 0.7f, 0.0f},
                                 {0.1f, 0.3f, 0.6f, 0.0f, 0.4f, 0.0f, 0.7f, 0.0f},
                                 {0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f}};  // not in the block
    std::vector<ImageFootprint> footprints(3);
    FloatImage maxWeight(2, 4, 1);
    for (size_t k = 0; k < 3; ++k) {
        RenderRegion region;
        region.active = true;
        region.rowLast = 1;
        region.colLast = 3;
        region.weight.allocate(2, 4, 1);
        std::copy(weights[k], weights[k] + 8, region.weight.data.begin());
        footprints[k].inBlock = k < 2;
        footprints[k].regions.push_back(std::move(region));
    }
    for (size_t p = 0; p < 8; ++p) maxWeight.data[p] = std::max(weights[0][p], weights[1][p]);
    const RenderOptions options;
    const RenderScene scene;
    NullStream log;
    const SeamInput input{options, scene, Gains{}, *projections().defaultRow().component, footprints, 4, 2, PlaneBounds{}, 0,
                          nullptr, log};
    const SeamFinder& nearest = *seamFinders().find("none")->component;
    EXPECT_EQ(nearest.heldBytes(input), 0);
    nearest.find(input)->markBlock(footprints, maxWeight, nullptr);
    EXPECT_EQ(footprints[0].regions[0].mask.data, (FloatSamples{1, 1, 0, 0, 0, 1, 1, 0}));
    EXPECT_EQ(footprints[1].regions[0].mask.data, (FloatSamples{0, 1, 1, 0, 1, 0, 1, 0}));
    EXPECT_TRUE(footprints[2].regions[0].mask.empty());
}

// Three photographs sampled into one block that holds the whole panorama, as the multi-band
// compositor samples them before it asks for the seams.
struct SampledBlock {
    explicit SampledBlock(const std::string& seam) {
        testing::buildScene(scene, {{-0.3f, 0.05f}, {0.3f, -0.05f}, {0.0f, 0.3f}}, 150, 120, 160);
        options.width = 160;
        options.seam = seam;
        plan = Renderer(options, kTestRenderBudget).plan(scene.view(), Gains{}, false, nullptr, log);
        const RenderScene view = plan.scene();
        sources = prepareSources(options, view, Gains{}, plan.footprints);
        const int width = plan.result.width, height = plan.result.height;
        maxWeight.allocate(height, width, 1);
        for (size_t p = 0; p < plan.footprints.size(); ++p) {
            block.push_back(clipFootprint(plan.footprints[p], 0, height - 1, 0, width - 1, plan.grid.dTheta,
                                          plan.grid.dPhi, 0));
            for (RenderRegion& region : block.back().regions)
                if (region.active)
                    sampleBilinear(region, maxWeight, sources[p].view(), block.back().grid, *plan.projection,
                                   sources[p].projection);
        }
    }
    testing::Scene scene;
    RenderOptions options;
    NullStream log;
    RenderPlan plan;
    std::vector<PreparedSource> sources;
    std::vector<ImageFootprint> block;
    FloatImage maxWeight;
};

TEST(SeamFinders, EveryFinderGivesEachCoveredPixelToAPhotographThatCoversIt) {
    for (const ComponentRow<SeamFinder>& row : seamFinders().rows()) {
        SCOPED_TRACE(std::string(row.name));
        SampledBlock s{std::string(row.name)};
        ASSERT_TRUE(s.plan.drawable());
        const RenderScene view = s.plan.scene();
        const SeamInput input{s.options, view, Gains{}, *s.plan.projection, s.plan.footprints, s.plan.result.width,
                              s.plan.result.height, outputCrop(s.plan.result), kTestRenderBudget, nullptr, s.log};
        row.component->find(input)->markBlock(s.block, s.maxWeight, nullptr);
        int covered = 0, shared = 0;
        for (int r = 0; r < s.maxWeight.rows; ++r)
            for (int c = 0; c < s.maxWeight.cols; ++c) {
                int takers = 0;
                for (const ImageFootprint& footprint : s.block)
                    for (const RenderRegion& region : footprint.regions) {
                        if (!region.active || r < region.rowFirst || r > region.rowLast || c < region.colFirst ||
                            c > region.colLast)
                            continue;
                        const size_t at = static_cast<size_t>(r - region.rowFirst) * region.mask.cols +
                                          static_cast<size_t>(c - region.colFirst);
                        if (region.mask.data[at] == 0.0f) continue;
                        ++takers;
                        ASSERT_GT(region.weight.data[at], 0.0f) << "taken where not seen at " << r << "," << c;
                    }
                if (s.maxWeight.at(r, c, 0) > 0.0f) {
                    ASSERT_GE(takers, 1) << "covered but taken by none at " << r << "," << c;
                    ++covered;
                    shared += takers > 1;
                } else {
                    ASSERT_EQ(takers, 0) << r << "," << c;
                }
            }
        EXPECT_GT(covered, s.maxWeight.rows * s.maxWeight.cols / 2);
        EXPECT_LT(shared, covered / 100);  // ties are rare
    }
}

}  // namespace
}  // namespace vantorra
