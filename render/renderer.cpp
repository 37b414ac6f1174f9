#include "render/renderer.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "engine/stitcher.h"
#include "render/block_plan.h"
#include "render/gain_compensation.h"
#include "render/multiband_blend.h"
#include "render/simple_blend.h"
#include "render/spherical.h"

namespace vantorra {
namespace {

bool registered(const Stitcher& stitcher, int image) {
    const size_t i = static_cast<size_t>(image);
    if (image < 0 || i >= stitcher.cameras.size() || i >= stitcher.imageSizes.size()) return false;
    const Camera& camera = stitcher.cameras[i];
    return camera.R.rows == 3 && camera.R.cols == 3 && camera.imageTransform.rows == 3 &&
           camera.imageTransform.cols == 3 && camera.f != 0.0f &&
           stitcher.imageSizes[i].height > 0 && stitcher.imageSizes[i].width > 0;
}

// Position in the component of the registered image with the smallest number, or -1.
int referencePosition(const Stitcher& stitcher) {
    int best = -1;
    for (size_t p = 0; p < stitcher.component.size(); ++p) {
        const int k = stitcher.component[p];
        if (registered(stitcher, k) && (best < 0 || k < stitcher.component[static_cast<size_t>(best)]))
            best = static_cast<int>(p);
    }
    return best;
}

struct Crop {
    float thetaMin, thetaMax, phiMin, phiMax;
};

Crop cropOf(const RenderOptions& options, const std::vector<ImageFootprint>& footprints) {
    if (!options.autoCrop)
        return Crop{options.thetaMin, options.thetaMax, options.phiMin, options.phiMax};
    Crop c{kPi, -kPi, kHalfPi, -kHalfPi};
    for (const ImageFootprint& footprint : footprints)
        for (const RenderRegion& region : footprint.regions) {
            c.thetaMin = std::min(c.thetaMin, region.thetaMin);
            c.thetaMax = std::max(c.thetaMax, region.thetaMax);
            c.phiMin = std::min(c.phiMin, region.phiMin);
            c.phiMax = std::max(c.phiMax, region.phiMax);
        }
    return c;
}

BlockCompositor compositorFor(int blendingMethod) {
    if (blendingMethod == 0) return blendNone;
    if (blendingMethod == 1) return blendLinear;
    return blendMultiBand;
}

// Block loop: composite every block, clamp it and paste it without its margin.
void renderBlocks(Image& panorama, Stitcher& stitcher, const std::vector<ImageFootprint>& placed,
                  const RenderOptions& options, const PanoramaGrid& grid, int block,
                  const Gains& gains) {
    const int width = panorama.cols, height = panorama.rows;
    const int blockRowCount = blockCount(height, block), blockColCount = blockCount(width, block);
    const int total = blockRowCount * blockColCount;
    stitcher.progress.setBlock(0, total);
    const int margin = renderBlockMargin(options);
    const BlockCompositor compose = compositorFor(options.blendingMethod);
    std::vector<ImageFootprint> blockFootprints(placed.size());
    FloatImage blockImage;
    int k = 1;
    for (int blockRow = 0; blockRow < blockRowCount; ++blockRow)
        for (int blockCol = 0; blockCol < blockColCount; ++blockCol, ++k) {
            const BlockBounds b = blockBounds(blockRow, blockCol, block, width, height);
            const int blockRows = b.rowEnd - b.rowStart + 1 + 2 * margin;
            const int blockCols = b.colEnd - b.colStart + 1 + 2 * margin;
            std::cout << "[ Block " << k << " of " << total << " ]" << std::endl;
            stitcher.progress.setBlock(k, total);
            for (size_t i = 0; i < placed.size(); ++i)
                blockFootprints[i] = clipFootprint(placed[i], b.rowStart, b.rowEnd, b.colStart,
                                                   b.colEnd, grid.dTheta, grid.dPhi, margin);
            blockImage.release();
            compose(blockImage, stitcher, blockFootprints, blockRows, blockCols, gains);
            blockImage.clampTo255();
            panorama.pasteFrom(b.rowStart, b.colStart, blockImage, margin, margin,
                               blockRows - margin - 1, blockCols - margin - 1);
        }
}

}  // namespace

std::vector<ImageFootprint> computeFootprints(const Stitcher& stitcher) {
    std::vector<ImageFootprint> footprints(stitcher.component.size());
    for (size_t p = 0; p < stitcher.component.size(); ++p) {
        const int k = stitcher.component[p];
        if (!registered(stitcher, k)) continue;
        const ImageSize& size = stitcher.imageSizes[static_cast<size_t>(k)];
        footprints[p] = computeFootprint(stitcher.cameras[static_cast<size_t>(k)], size.height,
                                         size.width);
    }
    return footprints;
}

bool recentreSeam(Stitcher& stitcher, const std::vector<ImageFootprint>& footprints) {
    if (!coverage(footprints, -kPi).found) return false;
    std::cout << "pano is split" << std::endl;
    // Each step moves strictly outward to another region's edge, so the region count bounds
    // both searches.
    size_t steps = 1;
    for (const ImageFootprint& footprint : footprints) steps += footprint.regions.size();

    // Follows overlapping regions from one end of the longitudes as far as they reach.
    auto reach = [&](float start, bool upwards, const char* label) {
        float t = start, cur = start;
        for (size_t s = 0; s < steps; ++s) {
            const float prev = cur;
            const Coverage c = coverage(footprints, t);
            cur = upwards ? c.thetaMax : c.thetaMin;
            t = cur;
            std::cout << label << cur << std::endl;
            if (!c.found || cur == prev) break;
        }
        return cur;
    };
    const float thetaMaxOverlap = reach(-kPi, true, "thetaMaxOverlap = ");
    const float thetaMinOverlap = reach(kPi, false, "thetaMinOverlap = ");

    if (!(thetaMaxOverlap < thetaMinOverlap)) return false;  // the covered arcs meet
    const float thetaMiddle = 0.5f * thetaMaxOverlap + kPi + 0.5f * thetaMinOverlap;
    std::cout << "theta middle = " << thetaMiddle << std::endl;
    const Matrix turn = rotationX(-thetaMiddle);
    for (const int k : stitcher.component)
        if (registered(stitcher, k)) {
            Camera& camera = stitcher.cameras[static_cast<size_t>(k)];
            camera.R = multiply(camera.R, turn);
        }
    return true;
}

void Renderer::render(Image& panorama, Stitcher& stitcher) {
    RenderOptions& o = *options;
    Gains gains;
    if (o.gainCompensation) gains = computeGains(stitcher, o);

    std::vector<ImageFootprint> footprints = computeFootprints(stitcher);
    if (recentreSeam(stitcher, footprints)) footprints = computeFootprints(stitcher);

    const int reference = referencePosition(stitcher);
    const Crop crop = cropOf(o, footprints);
    const float dT = crop.thetaMax - crop.thetaMin, dP = crop.phiMax - crop.phiMin;
    if (reference < 0 || !(dT > 0.0f) || !(dP > 0.0f)) {
        // Nothing registered to draw, or an empty crop: no panorama.
        panorama.clear();
        return;
    }
    const int refImage = stitcher.component[static_cast<size_t>(reference)];
    const ImageSize& refSize = stitcher.imageSizes[static_cast<size_t>(refImage)];
    const ImageFootprint& refFootprint = footprints[static_cast<size_t>(reference)];
    const OutputSize size = outputSize(o, dT, dP, refFootprint, refSize.height, refSize.width);
    dTheta = dT / static_cast<float>(size.width - 1);
    dPhi = (crop.phiMin - crop.phiMax) / static_cast<float>(size.height - 1);

    PanoramaGrid grid;
    grid.thetaMin = crop.thetaMin;
    grid.phiMax = crop.phiMax;
    grid.dTheta = dTheta;
    grid.dPhi = dPhi;
    for (ImageFootprint& footprint : footprints)
        placeFootprint(footprint, grid, size.width, size.height, dT, dP);

    o.scale = std::min(refFootprint.firstEdgePixels / static_cast<float>(refSize.height),
                       refFootprint.secondEdgePixels / static_cast<float>(refSize.width));
    o.width = size.width;
    o.height = size.height;
    o.thetaMin = crop.thetaMin;
    o.thetaMax = crop.thetaMax;
    o.phiMin = crop.phiMin;
    o.phiMax = crop.phiMax;

    const int block = renderBlockSize(o.renderMemoryBudget, size.width, size.height,
                                      o.minBlockSize, o.maxBlockSize);
    std::cout << "Max memory = " << o.renderMemoryBudget << std::endl;
    std::cout << " Render Block Size = " << block << std::endl;

    panorama.allocate(size.height, size.width, 3);
    renderBlocks(panorama, stitcher, footprints, o, grid, block, gains);
}

}  // namespace vantorra
