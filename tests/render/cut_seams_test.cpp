// Seams around differences: a planted bright block in one photograph of an overlap is never cut
// when a way around it exists (also across the edge of a full turn), every covered pixel goes to
// exactly one photograph, and the coarse-to-fine cut finds the seam the direct cut finds.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/null_stream.h"
#include "render/binary_cut.h"
#include "render/cut_levels.h"
#include "render/prepared_source.h"
#include "render/renderer.h"
#include "render/samplers.h"
#include "render/seam_registry.h"
#include "support/render_support.h"
#include "synthetic_scene.h"

namespace vantorra {
namespace {

constexpr float kPi = 3.14159265f;

// A bright rectangle painted into one photograph: rows and columns of that photograph.
struct Plant {
    int view = -1;
    int rowFirst = 0, rowLast = -1, colFirst = 0, colLast = -1;
};

// The scene rendered as one block with the cut seams, each footprint's masks set.
struct LabelledPanorama {
    LabelledPanorama(const std::vector<std::pair<float, float>>& views, float f, const std::vector<Plant>& plants,
                     int width) {
        testing::buildScene(scene, views, f, 120, 160);
        for (const Plant& p : plants)
            for (int r = p.rowFirst; r <= p.rowLast; ++r)
                for (int c = p.colFirst; c <= p.colLast; ++c)
                    for (int k = 0; k < 3; ++k) scene.photographs[static_cast<size_t>(p.view)].featureImage.at(r, c, k) = 255.0f;
        options.width = width;
        options.seam = "cut";
        plan = Renderer(options, kTestRenderBudget).plan(scene.view(), Gains{}, false, nullptr, log);
        const RenderScene view = plan.scene();
        sources = prepareSources(options, view, Gains{}, plan.footprints);
        const int w = plan.result.width, h = plan.result.height;
        maxWeight.allocate(h, w, 1);
        for (size_t p = 0; p < plan.footprints.size(); ++p) {
            block.push_back(clipFootprint(plan.footprints[p], 0, h - 1, 0, w - 1, plan.grid.dTheta, plan.grid.dPhi, 0));
            for (RenderRegion& region : block.back().regions)
                if (region.active)
                    sampleBilinear(region, maxWeight, sources[p].view(), block.back().grid, *plan.projection,
                                   sources[p].projection);
        }
        const SeamInput input{options, view, Gains{}, *plan.projection, plan.footprints, w, h,
                              outputCrop(plan.result), kTestRenderBudget, nullptr, log};
        seamsFound = seamFinders().find("cut")->component->find(input);
        seamsFound->markBlock(block, maxWeight, nullptr);
    }
    // Footprint p's region sample at block pixel (r, c): its mask and warped value, false where
    // no region of it holds the pixel.
    bool at(size_t p, int r, int c, float& mask, float& value) const {
        for (const RenderRegion& region : block[p].regions) {
            if (!region.active || r < region.rowFirst || r > region.rowLast || c < region.colFirst || c > region.colLast)
                continue;
            const size_t i = static_cast<size_t>(r - region.rowFirst) * region.mask.cols + (c - region.colFirst);
            if (!(region.weight.data[i] > 0.0f)) return false;
            mask = region.mask.data[i];
            value = std::min({region.warped.data[3 * i], region.warped.data[3 * i + 1], region.warped.data[3 * i + 2]});
            return true;
        }
        return false;
    }
    testing::Scene scene;
    RenderOptions options;
    NullStream log;
    RenderPlan plan;
    std::vector<PreparedSource> sources;
    std::vector<ImageFootprint> block;
    FloatImage maxWeight;
    std::unique_ptr<BlockSeams> seamsFound;
};

// Eight views around the full turn, the edge at +-pi in the middle of the overlap of the last
// and the first.
std::vector<std::pair<float, float>> fullTurn() {
    std::vector<std::pair<float, float>> views;
    for (int k = 0; k < 8; ++k) views.push_back({-kPi + (k + 0.5f) * kPi / 4.0f, 0.0f});
    return views;
}

struct Case {
    const char* what;
    std::vector<std::pair<float, float>> views;
    float f;
    std::vector<Plant> plants;
    int width;
};

std::vector<Case> cases() {
    const std::vector<std::pair<float, float>> two = {{-0.25f, 0.0f}, {0.25f, 0.0f}};
    const std::vector<std::pair<float, float>> three = {{-0.3f, 0.05f}, {0.3f, -0.05f}, {0.0f, 0.3f}};
    return {
        {"in the later photograph, mid overlap", two, 150.0f, {{1, 50, 70, 30, 50}}, 260},
        {"in the earlier photograph, mid overlap", two, 150.0f, {{0, 20, 45, 108, 130}}, 260},
        {"in both, at the top and the bottom", two, 150.0f, {{0, 2, 30, 105, 125}, {1, 85, 115, 35, 55}}, 260},
        {"a tall block with a way around below", two, 150.0f, {{1, 0, 80, 38, 48}}, 260},
        {"three photographs at one place", three, 160.0f, {{2, 80, 105, 60, 90}, {1, 30, 50, 20, 40}}, 300},
        {"full turn, across the edge", fullTurn(), 138.6f, {{0, 40, 70, 5, 25}, {7, 60, 90, 130, 150}}, 700},
    };
}

TEST(CutSeams, APlantedBlockIsNeverCrossedAndEveryCoveredPixelGoesToOnePhotograph) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        const LabelledPanorama pano(c.views, c.f, c.plants, c.width);
        ASSERT_TRUE(pano.plan.drawable());
        int planted = 0, covered = 0;
        std::vector<int> takenInBlock(pano.block.size(), 0), seenInBlock(pano.block.size(), 0);
        for (int r = 0; r < pano.maxWeight.rows; ++r)
            for (int c2 = 0; c2 < pano.maxWeight.cols; ++c2) {
                int takers = 0;
                for (size_t p = 0; p < pano.block.size(); ++p) {
                    float mask = 0, value = 0;
                    if (!pano.at(p, r, c2, mask, value)) continue;
                    takers += mask != 0.0f;
                    EXPECT_TRUE(mask == 0.0f || mask == 1.0f);
                    if (value > 245.0f) {  // inside a planted block (the texture stays below 228)
                        ++seenInBlock[p];
                        takenInBlock[p] += mask != 0.0f;
                    }
                }
                if (pano.maxWeight.at(r, c2, 0) > 0.0f) {
                    ++covered;
                    ASSERT_EQ(takers, 1) << "at " << r << "," << c2;
                } else {
                    ASSERT_EQ(takers, 0) << "at " << r << "," << c2;
                }
            }
        for (size_t p = 0; p < pano.block.size(); ++p) {
            planted += seenInBlock[p];
            // A block shown whole or not at all, never cut (one seam pixel of slack where the
            // labels are carried from the seam grid to full resolution).
            const int partial = std::min(takenInBlock[p], seenInBlock[p] - takenInBlock[p]);
            EXPECT_LE(partial, seenInBlock[p] / 50) << "photograph " << p << " takes " << takenInBlock[p] << " of "
                                                    << seenInBlock[p] << " block pixels";
        }
        EXPECT_GT(planted, 200);
        EXPECT_GT(covered, pano.maxWeight.rows * pano.maxWeight.cols / 2);
    }
}

TEST(CutSeams, AFullTurnClosesAtTheEdge) {
    const LabelledPanorama pano(fullTurn(), 138.6f, {}, 700);
    ASSERT_TRUE(pano.plan.drawable());
    const int last = pano.maxWeight.cols - 1;
    ASSERT_NEAR((pano.plan.result.thetaMax - pano.plan.result.thetaMin) / (2 * kPi), 1.0f, 1e-4f);
    int rows = 0;
    for (int r = 0; r < pano.maxWeight.rows; ++r) {
        int left = -1, right = -1;
        for (size_t p = 0; p < pano.block.size(); ++p) {
            float mask = 0, value = 0;
            if (pano.at(p, r, 0, mask, value) && mask != 0.0f) left = static_cast<int>(p);
            if (pano.at(p, r, last, mask, value) && mask != 0.0f) right = static_cast<int>(p);
        }
        if (left < 0 || right < 0) continue;
        ++rows;
        EXPECT_EQ(left, right) << "row " << r;  // the first and last columns look the same way
    }
    EXPECT_GT(rows, pano.maxWeight.rows / 2);
}

// A grid graph of rows x cols pixels: the first column must keep, the last must take, and a
// seam step costs `cost(r, c)` at either end.
CutGraph gridGraph(int rows, int cols, int (*cost)(int, int), std::vector<uint32_t>& pixel) {
    CutGraph g;
    g.reset(rows * cols);
    pixel.resize(static_cast<size_t>(rows) * cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const int v = r * cols + c;
            pixel[static_cast<size_t>(v)] = static_cast<uint32_t>(v);
            const int sides[4] = {r > 0 ? v - cols : -1, c > 0 ? v - 1 : -1, c + 1 < cols ? v + 1 : -1,
                                  r + 1 < rows ? v + cols : -1};
            for (int s = 0; s < 4; ++s) {
                g.neighbour[4 * v + s] = sides[s];
                if (sides[s] >= 0) g.seamCost[4 * v + s] = cost(r, c) + cost(sides[s] / cols, sides[s] % cols);
            }
            if (c == 0) g.takeCost[v] = 1 << 20;
            if (c == cols - 1) g.keepCost[v] = 1 << 20;
        }
    return g;
}

int64_t cutCost(const CutGraph& g, const std::vector<uint8_t>& takes) {
    int64_t total = 0;
    for (int v = 0; v < g.count(); ++v) {
        total += takes[v] ? g.takeCost[v] : g.keepCost[v];
        for (int s = 0; s < 4; ++s)
            if (const int q = g.neighbour[4 * v + s]; q >= 0 && !takes[v] && takes[q]) total += g.seamCost[4 * v + s];
    }
    return total;
}

TEST(CutSeams, CoarseToFineFindsTheSeamTheDirectCutFinds) {
    struct Graph {
        const char* what;
        int (*cost)(int, int);
    };
    const Graph graphs[] = {
        {"flat", [](int, int) { return 4; }},
        {"one cheap column", [](int, int c) { return c == 37 ? 1 : 40; }},
        {"a wall with a gap of six", [](int r, int c) { return c >= 20 && c < 60 && (r < 30 || r >= 36) ? 400 : 3; }},
        {"a diagonal valley", [](int r, int c) { return std::abs(c - 10 - r) < 2 ? 1 : 30; }},
        {"a bright block to go around", [](int r, int c) { return r >= 10 && r < 50 && c >= 30 && c < 50 ? 500 : 5; }},
    };
    for (const Graph& graph : graphs) {
        SCOPED_TRACE(graph.what);
        std::vector<uint32_t> pixel;
        const CutGraph g = gridGraph(64, 80, graph.cost, pixel);
        std::vector<uint8_t> direct, levels;
        minimumCut(g, direct);
        minimumCutCoarseToFine(g, pixel, 80, levels, 200);  // three levels below the pixels
        EXPECT_EQ(cutCost(g, levels), cutCost(g, direct));
        for (int r = 0; r < 64; ++r) {
            EXPECT_EQ(levels[static_cast<size_t>(r) * 80], 0);
            EXPECT_EQ(levels[static_cast<size_t>(r) * 80 + 79], 1);
        }
    }
}

}  // namespace
}  // namespace vantorra
