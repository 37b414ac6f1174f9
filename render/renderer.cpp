#include "render/renderer.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "render/block_plan.h"
#include "render/gain_compensation.h"
#include "render/multiband_blend.h"
#include "render/prepared_source.h"
#include "render/simple_blend.h"
#include "render/spherical.h"

namespace vantorra {
namespace {

// Position in the component of the drawable image with the smallest number, or -1.
int referencePosition(const RenderScene& scene) {
    int best = -1;
    for (size_t p = 0; p < scene.component.size(); ++p) {
        const int k = scene.component[p];
        if (scene.sources.drawable(k, scene.cameras) &&
            (best < 0 || k < scene.component[static_cast<size_t>(best)]))
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
void renderBlocks(Image& panorama, const RenderContext& context,
                  const std::vector<ImageFootprint>& placed, const PanoramaGrid& grid, int block) {
    const RenderOptions& options = context.options;
    const int width = panorama.cols, height = panorama.rows;
    const int blockRowCount = blockCount(height, block), blockColCount = blockCount(width, block);
    const int total = blockRowCount * blockColCount;
    context.progress.setBlock(0, total);
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
            context.progress.setBlock(k, total);
            for (size_t i = 0; i < placed.size(); ++i)
                blockFootprints[i] = clipFootprint(placed[i], b.rowStart, b.rowEnd, b.colStart,
                                                   b.colEnd, grid.dTheta, grid.dPhi, margin);
            blockImage.release();
            compose(blockImage, context, blockFootprints, blockRows, blockCols);
            blockImage.clampTo255();
            panorama.pasteFrom(b.rowStart, b.colStart, blockImage, margin, margin,
                               blockRows - margin - 1, blockCols - margin - 1);
        }
}

// The cameras of the scene turned by `turn`, where they can be drawn.
std::vector<Camera> turnedCameras(const RenderScene& scene, const Matrix& turn) {
    std::vector<Camera> cameras(scene.cameras.begin(), scene.cameras.end());
    for (const int k : scene.component)
        if (scene.sources.drawable(k, scene.cameras)) {
            Camera& camera = cameras[static_cast<size_t>(k)];
            camera.R = multiply(camera.R, turn);
        }
    return cameras;
}

}  // namespace

void showRenderResult(RenderOptions& shown, const RenderResult& result) {
    if (!result.rendered) return;
    shown.scale = result.scale;
    shown.width = result.width;
    shown.height = result.height;
    shown.thetaMin = result.thetaMin;
    shown.thetaMax = result.thetaMax;
    shown.phiMin = result.phiMin;
    shown.phiMax = result.phiMax;
}

std::vector<ImageFootprint> computeFootprints(const RenderScene& scene) {
    std::vector<ImageFootprint> footprints(scene.component.size());
    for (size_t p = 0; p < scene.component.size(); ++p) {
        const int k = scene.component[p];
        if (!scene.sources.drawable(k, scene.cameras)) continue;
        const ImageSize& size = scene.sources.sizes[static_cast<size_t>(k)];
        footprints[p] = computeFootprint(scene.cameras[static_cast<size_t>(k)], size.height,
                                         size.width);
    }
    return footprints;
}

bool seamTurn(const std::vector<ImageFootprint>& footprints, Matrix& turn) {
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
    turn = rotationX(-thetaMiddle);
    return true;
}

RenderResult Renderer::render(Image& panorama, const RenderScene& input, const Gains& gains,
                              ProgressReporter& progress) const {
    const RenderOptions& o = options;
    RenderResult result;
    RenderScene scene = input;
    std::vector<ImageFootprint> footprints = computeFootprints(scene);
    Matrix turn;
    if (seamTurn(footprints, turn)) {
        result.cameras = turnedCameras(scene, turn);
        result.recentred = true;
        scene.cameras = result.cameras;
        footprints = computeFootprints(scene);
    } else {
        result.cameras.assign(scene.cameras.begin(), scene.cameras.end());
    }

    const int reference = referencePosition(scene);
    const Crop crop = cropOf(o, footprints);
    const float dT = crop.thetaMax - crop.thetaMin, dP = crop.phiMax - crop.phiMin;
    if (reference < 0 || !(dT > 0.0f) || !(dP > 0.0f)) {
        // Nothing registered to draw, or an empty crop: no panorama.
        panorama.clear();
        return result;
    }
    const int refImage = scene.component[static_cast<size_t>(reference)];
    const ImageSize& refSize = scene.sources.sizes[static_cast<size_t>(refImage)];
    const ImageFootprint& refFootprint = footprints[static_cast<size_t>(reference)];
    const OutputSize size = outputSize(o, dT, dP, refFootprint, refSize.height, refSize.width);
    result.dTheta = dT / static_cast<float>(size.width - 1);
    result.dPhi = (crop.phiMin - crop.phiMax) / static_cast<float>(size.height - 1);

    PanoramaGrid grid;
    grid.thetaMin = crop.thetaMin;
    grid.phiMax = crop.phiMax;
    grid.dTheta = result.dTheta;
    grid.dPhi = result.dPhi;
    for (ImageFootprint& footprint : footprints)
        placeFootprint(footprint, grid, size.width, size.height, dT, dP);

    result.rendered = true;
    result.scale = std::min(refFootprint.firstEdgePixels / static_cast<float>(refSize.height),
                            refFootprint.secondEdgePixels / static_cast<float>(refSize.width));
    result.width = size.width;
    result.height = size.height;
    result.thetaMin = crop.thetaMin;
    result.thetaMax = crop.thetaMax;
    result.phiMin = crop.phiMin;
    result.phiMax = crop.phiMax;

    result.blockSize = renderBlockSize(o.renderMemoryBudget, size.width, size.height,
                                       o.minBlockSize, o.maxBlockSize);
    std::cout << "Max memory = " << o.renderMemoryBudget << std::endl;
    std::cout << " Render Block Size = " << result.blockSize << std::endl;

    panorama.allocate(size.height, size.width, 3);
    const std::vector<PreparedSource> sources = prepareSources(o, scene, gains, footprints);
    const RenderContext context{o, scene, gains, progress, sources};
    renderBlocks(panorama, context, footprints, grid, result.blockSize);
    return result;
}

}  // namespace vantorra
