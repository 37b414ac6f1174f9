#include "render/cut_seams.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "core/row_ranges.h"
#include "render/prepared_source.h"
#include "render/samplers.h"
#include "render/seam_search.h"

namespace vantorra {
namespace {

// How a seam is priced on `grid`: it keeps about two blur widths of the blend (at full
// resolution) away from a difference, so that no band carries a figure's colour across.
SeamCosts costsFor(const SeamInput& input, const SeamGrid& grid) {
    SeamCosts costs;
    // Seam pixels per output pixel times output pixels per full-resolution pixel is seam pixels
    // per full-resolution pixel, whatever size the output is drawn at.
    const ImageFootprint* reference = nullptr;
    size_t position = 0;
    for (size_t p = 0; p < input.footprints.size() && reference == nullptr; ++p)
        if (!input.footprints[p].regions.empty()) reference = &input.footprints[p], position = p;
    float seamPerFull = 1.0f;
    if (reference != nullptr) {
        const ImageSize size = input.scene.sources.size(input.scene.component[position]);
        const float outPerFull = std::max(reference->firstEdgePixels / static_cast<float>(std::max(1, size.height)),
                                          reference->secondEdgePixels / static_cast<float>(std::max(1, size.width)));
        seamPerFull = grid.colScale * outPerFull;
    }
    costs.widen = std::clamp(static_cast<int>(std::ceil(2.0f * input.options.blendingSigma * seamPerFull)), 1, 16);
    return costs;
}

// Photograph p sampled onto the grid into the search's newest-photograph images; the rectangles
// it covers.
std::vector<SeamSearch::Rect> sampleOnto(SeamSearch& search, ImageFootprint& footprint, const PreparedSource& source,
                                         const SeamInput& input) {
    std::vector<SeamSearch::Rect> rects;
    FloatImage& colour = search.colour();
    FloatImage& weight = search.weight();
    for (RenderRegion& region : footprint.regions) {
        if (!region.active) continue;
        // The grid-sized weight image is the sampler's largest weight: it starts at 0 where this
        // photograph's regions lie, so it ends as this photograph's weights.
        sampleBilinear(region, weight, source.view(), footprint.grid, input.projection, source.projection, input.pool);
        const int cols = region.colLast - region.colFirst + 1, channels = region.warped.channels;
        for (int r = region.rowFirst; r <= region.rowLast; ++r)
            for (int c = 0; c < cols; ++c) {
                const float* s = &region.warped.data[(static_cast<size_t>(r - region.rowFirst) * cols + c) * channels];
                float* d = &colour.data[(static_cast<size_t>(r) * colour.cols + region.colFirst + c) * 3];
                for (int k = 0; k < 3; ++k) d[k] = s[std::min(k, channels - 1)];
            }
        rects.push_back({region.rowFirst, region.rowLast, region.colFirst, region.colLast});
        region.warped.release();
        region.weight.release();
    }
    return rects;
}

}  // namespace

int64_t CutSeams::heldBytes(const SeamInput& input) const {
    return seamGridFor(input).pixels() * static_cast<int64_t>(sizeof(int16_t));
}

std::unique_ptr<BlockSeams> CutSeams::find(const SeamInput& input) const {
    const SeamGrid grid = seamGridFor(input);
    // Labels are component positions in two bytes; without them every pixel goes to the
    // largest weight.
    if (grid.empty() || input.footprints.size() > 32767u)
        return std::make_unique<CutLabels>(SeamGrid{}, std::vector<int16_t>{});
    std::vector<ImageFootprint> placed = footprintsOn(grid, input);
    std::vector<PreparedSource> sources = prepareSources(input.options, input.scene, input.gains, placed, input.pool);
    const SeamCosts costs = costsFor(input, grid);
    input.log << " Seams around differences on " << grid.cols << " x " << grid.rows << " pixels" << std::endl;
    SeamSearch search(grid, costs);
    for (size_t p = 0; p < placed.size() && p < sources.size(); ++p) {
        if (!placed[p].inBlock || sources[p].empty()) continue;
        const std::vector<SeamSearch::Rect> rects = sampleOnto(search, placed[p], sources[p], input);
        sources[p] = PreparedSource{};
        search.add(static_cast<int16_t>(p), rects);
    }
    return std::make_unique<CutLabels>(grid, search.takeLabels());
}

namespace {

// The weight footprint `f` has at block pixel (r, c), 0 where it does not reach it.
float weightAt(const ImageFootprint& f, int r, int c) {
    if (!f.inBlock) return 0.0f;
    for (const RenderRegion& region : f.regions)
        if (region.active && r >= region.rowFirst && r <= region.rowLast && c >= region.colFirst && c <= region.colLast)
            return region.weight.data[static_cast<size_t>(r - region.rowFirst) * region.weight.cols +
                                      static_cast<size_t>(c - region.colFirst)];
    return 0.0f;
}

// The first footprint whose weight is the block's largest at (r, c).
size_t firstLargest(const std::vector<ImageFootprint>& footprints, const FloatImage& maxWeight, int r, int c) {
    const float largest = maxWeight.data[static_cast<size_t>(r) * maxWeight.cols + c];
    for (size_t j = 0; j < footprints.size(); ++j)
        if (weightAt(footprints[j], r, c) == largest) return j;
    return footprints.size();
}

}  // namespace

void CutLabels::markBlock(std::vector<ImageFootprint>& footprints, const FloatImage& maxWeight, ThreadPool* pool) const {
    // The seam column of every column of a region, made once per region on this thread; kept
    // from block to block, so it grows to the widest region and then allocates no more.
    thread_local std::vector<int32_t> seamCols;
    for (size_t i = 0; i < footprints.size(); ++i) {
        ImageFootprint& footprint = footprints[i];
        if (!footprint.inBlock) continue;
        for (RenderRegion& region : footprint.regions) {
            if (!region.active) continue;
            const FloatImage& weight = region.weight;
            region.mask.reshape(weight.rows, weight.cols, 1);  // every sample set below
            seamCols.resize(static_cast<size_t>(weight.cols));
            for (int c = 0; c < weight.cols; ++c)
                seamCols[static_cast<size_t>(c)] =
                    grid_.empty() ? 0 : grid_.seamCol(footprint.grid.colOffset + region.colFirst + c);
            const int32_t* cols = seamCols.data();
            const int16_t own = static_cast<int16_t>(i);
            forRowRanges(pool, weight.rows, [&](int first, int end, int) {
                for (int r = first; r < end; ++r) {
                    const int br = region.rowFirst + r;  // block row
                    const float* w = weight.data.data() + static_cast<size_t>(r) * weight.cols;
                    float* mask = region.mask.data.data() + static_cast<size_t>(r) * weight.cols;
                    const int16_t* labelRow =
                        grid_.empty() ? nullptr
                                      : labels_.data() + static_cast<size_t>(grid_.seamRow(footprint.grid.rowOffset + br)) *
                                                             grid_.cols;
                    // The usual case first: its own label where it is seen.
                    for (int c = 0; c < weight.cols; ++c)
                        mask[c] = labelRow != nullptr && w[c] > 0.0f && labelRow[cols[c]] == own ? 1.0f : 0.0f;
                    // Seen but labelled otherwise: another photograph's, unless that one does not
                    // reach the pixel at full resolution.
                    for (int c = 0; c < weight.cols; ++c) {
                        if (mask[c] != 0.0f || !(w[c] > 0.0f)) continue;
                        const int bc = region.colFirst + c;
                        const int label = labelRow != nullptr ? labelRow[cols[c]] : -1;
                        size_t winner = static_cast<size_t>(label);
                        if (label < 0 || winner >= footprints.size() || !(weightAt(footprints[winner], br, bc) > 0.0f))
                            winner = firstLargest(footprints, maxWeight, br, bc);
                        mask[c] = winner == i ? 1.0f : 0.0f;
                    }
                }
            });
        }
    }
}

}  // namespace vantorra
