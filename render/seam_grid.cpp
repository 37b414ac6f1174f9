#include "render/seam_grid.h"

#include <algorithm>
#include <cmath>

namespace vantorra {

int64_t seamPixelCount(int64_t budget, int64_t fullResolutionPixels) {
    const int64_t target = int64_t{1} << 20;
    return std::max<int64_t>(std::min({target, budget / kSeamSearchBytes, fullResolutionPixels}), 4096);
}

namespace {

// Pixels of the panorama at full resolution: the output's pixels over the square of the output
// pixels per photograph pixel of the first drawable photograph. It does not depend on the size
// the output is drawn at.
int64_t fullResolutionPixels(const SeamInput& input) {
    for (size_t p = 0; p < input.footprints.size() && p < input.scene.component.size(); ++p) {
        const ImageFootprint& f = input.footprints[p];
        const ImageSize size = input.scene.sources.size(input.scene.component[p]);
        if (f.regions.empty() || size.height <= 0 || size.width <= 0) continue;
        const double ratio = std::max(f.firstEdgePixels / size.height, f.secondEdgePixels / size.width);
        if (!(ratio > 0.0)) continue;
        return static_cast<int64_t>(static_cast<double>(input.width) * input.height / (ratio * ratio));
    }
    return int64_t{input.width} * input.height;
}

}  // namespace

SeamGrid seamGridFor(const SeamInput& input) {
    SeamGrid grid;
    const PlaneBounds& crop = input.crop;
    const double dT = crop.thetaMax - crop.thetaMin, dP = crop.phiMax - crop.phiMin;
    if (input.width < 2 || input.height < 2 || !(dT > 0.0) || !(dP > 0.0)) return grid;
    const std::optional<PlaneWrap> wrap = input.projection.wrap();
    const double turn = wrap ? wrap->last - wrap->first : 0.0;
    grid.wraps = wrap && dT >= turn * (1.0 - kTurnTolerance);
    // Rounded to a multiple of 1/64 of a megapixel so that the full-resolution count's last
    // digits (which move with the output size's truncations) do not move the grid.
    const int64_t quantum = int64_t{1} << 14;
    const int64_t wanted = seamPixelCount(input.budget, fullResolutionPixels(input)) / quantum * quantum;
    const double pixels = static_cast<double>(std::max(quantum, wanted));
    grid.cols = std::max(2, static_cast<int>(std::lround(std::sqrt(pixels * dT / dP))));
    grid.rows = std::max(2, static_cast<int>(pixels / grid.cols));
    grid.plane.thetaMin = crop.thetaMin;
    grid.plane.phiMax = crop.phiMax;
    grid.plane.dTheta = static_cast<float>(grid.wraps ? dT / grid.cols : dT / (grid.cols - 1));
    grid.plane.dPhi = static_cast<float>(-dP / (grid.rows - 1));
    const PanoramaGrid& out = input.footprints.empty() ? grid.plane : input.footprints.front().grid;
    grid.colScale = out.dTheta / grid.plane.dTheta;
    grid.rowScale = out.dPhi / grid.plane.dPhi;
    return grid;
}

std::vector<ImageFootprint> footprintsOn(const SeamGrid& grid, const SeamInput& input) {
    std::vector<ImageFootprint> placed(input.footprints.size());
    const PlaneBounds& crop = input.crop;
    // A full turn is laid out over cols + 1 columns, the last one the first again.
    const int width = grid.wraps ? grid.cols + 1 : grid.cols;
    const float dT = static_cast<float>(width - 1) * grid.plane.dTheta, dP = crop.phiMax - crop.phiMin;
    for (size_t p = 0; p < placed.size() && p < input.scene.component.size(); ++p) {
        if (input.footprints[p].regions.empty()) continue;
        const int k = input.scene.component[p];
        const ImageSize size = input.scene.sources.size(k);
        ImageFootprint f = input.projection.footprint(input.scene.cameras[static_cast<size_t>(k)], size.height,
                                                      size.width);
        placeFootprint(f, grid.plane, width, grid.rows, dT, dP);
        placed[p] = clipFootprint(f, 0, grid.rows - 1, 0, grid.cols - 1, grid.plane.dTheta, grid.plane.dPhi, 0);
    }
    return placed;
}

}  // namespace vantorra
