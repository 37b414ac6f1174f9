#include "render/render_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "options/option_ranges.h"
#include "render/block_plan.h"
#include "render/compositor_registry.h"
#include "render/inside_crop.h"
#include "render/prepared_source.h"
#include "render/projection_registry.h"
#include "render/recentre.h"
#include "render/seam_registry.h"

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

// The most images whose placed regions meet at any one output rectangle: an upper bound on
// how many images a block pixel is sampled from. In a full turn of `turnColumns` a region also
// meets those a turn to either side, as blocks at its edges draw them.
int overlapDepth(const std::vector<ImageFootprint>& placed, int turnColumns) {
    const int shifts[] = {0, -turnColumns, turnColumns};
    const int kinds = turnColumns > 0 ? 3 : 1;
    int depth = 1;
    for (const ImageFootprint& a : placed)
        for (const RenderRegion& ra : a.regions) {
            int meeting = 0;
            for (const ImageFootprint& b : placed)
                for (const RenderRegion& rb : b.regions) {
                    // A region over the whole turn has no copies: it reaches past both edges itself.
                    const bool whole = rb.colLast - rb.colFirst + 1 >= turnColumns;
                    for (int k = 0; k < (whole ? 1 : kinds); ++k)
                        if (ra.rowFirst <= rb.rowLast && rb.rowFirst <= ra.rowLast &&
                            ra.colFirst <= rb.colLast + shifts[k] && rb.colFirst + shifts[k] <= ra.colLast)
                            ++meeting;
                }
            depth = std::max(depth, meeting);
        }
    return depth;
}

template <typename Component>
const Component* named(const ComponentTable<Component>& table, const std::string& name, const char* what,
                       std::string& error) {
    const ComponentRow<Component>* row = table.find(name);
    if (row == nullptr && error.empty())
        error = std::string("there is no ") + what + " called '" + name + "' (" + table.names() + ")";
    return row != nullptr ? row->component : nullptr;
}

// The components the options name; false, with the reason, when one is not known.
bool chooseComponents(const RenderOptions& o, RenderPlan& plan) {
    std::string& error = plan.result.error;
    plan.projection = named(projections(), o.projection, "projection", error);
    plan.compositor = named(compositors(), o.blendingMethod, "blending method", error);
    plan.seamFinder = named(seamFinders(), o.seam, "seam finder", error);
    return error.empty();
}

// Whether the options hold a recorded mapping of the projection they name, to draw again exactly.
bool recordedMapping(const RenderOptions& o) { return o.mapping.known() && o.mapping.projection == o.projection; }

// The footprints of the scene, the world turned first when the panorama runs across the
// projection's wrap edge.
void placeCameras(const RenderOptions& o, RenderPlan& plan, std::ostream& log) {
    RenderScene scene = plan.input;
    plan.footprints = computeFootprints(scene, *plan.projection);
    Matrix turn;
    // A recorded mapping fixes where everything lies: no turn.
    if (!recordedMapping(o) && seamTurn(*plan.projection, plan.footprints, turn, log)) {
        plan.result.cameras = turnedCameras(scene, turn);
        plan.result.recentred = true;
        scene.cameras = plan.result.cameras;
        plan.footprints = computeFootprints(scene, *plan.projection);
    } else {
        plan.result.cameras.assign(scene.cameras.begin(), scene.cameras.end());
    }
}

// Whether a recorded mapping is a full turn: W columns of 1 / scale that span the projection's
// wrap, as the file of a full turn records them. Its last column neighbours its first.
bool recordedTurn(const OutputMapping& m, const Projection& projection) {
    const std::optional<PlaneWrap> wrap = projection.wrap();
    if (!wrap) return false;
    const double turn = wrap->last - wrap->first;
    return std::abs(m.width / m.scale - turn) <= kTurnTolerance * turn;
}

// The crop and size of a recorded mapping: square pixels of 1 / scale plane units. A recorded
// full turn's crop spans its W columns, not W - 1.
bool mappedCrop(const OutputMapping& m, const Projection& projection, PlaneBounds& crop, OutputSize& size) {
    const bool turn = recordedTurn(m, projection);
    crop.thetaMin = static_cast<float>(-m.centreColumn / m.scale);
    crop.thetaMax = static_cast<float>((m.width - (turn ? 0 : 1) - m.centreColumn) / m.scale);
    crop.phiMax = static_cast<float>(m.centreRow / m.scale);
    crop.phiMin = static_cast<float>((m.centreRow - (m.height - 1)) / m.scale);
    size.width = m.width;
    size.height = m.height;
    return true;
}

// The mapping of a planned grid: scale and centre from its columns, the centre row chosen so
// that its rows, whose spacing the size's rounding may make differ from the columns' by a part of
// a pixel over the whole height, are off by at most half a pixel at its top and bottom.
OutputMapping mappingOf(const std::string& projection, const PanoramaGrid& grid, int width, int height) {
    OutputMapping m;
    m.projection = projection;
    m.width = width;
    m.height = height;
    m.scale = 1.0 / static_cast<double>(grid.dTheta);
    m.centreColumn = -static_cast<double>(grid.thetaMin) * m.scale;
    const double middle = 0.5 * (height - 1);
    m.centreRow = middle + m.scale * (grid.phiMax + middle * static_cast<double>(grid.dPhi));
    return m;
}

bool isFullTurn(const Projection& projection, float dT) {
    const std::optional<PlaneWrap> wrap = projection.wrap();
    return wrap && dT >= (wrap->last - wrap->first) * (1.0f - kTurnTolerance);
}

std::string cutNote(const RenderOptions& o, const Projection& projection) {
    return "the " + o.projection + " projection draws " + projection.reachText() +
           ": the panorama holds the largest part of the photographs it can";
}

PlaneBounds cropOf(const RenderOptions& options, const Projection& projection,
                   const std::vector<ImageFootprint>& footprints) {
    if (!options.autoCrop) return PlaneBounds{options.thetaMin, options.thetaMax, options.phiMin, options.phiMax};
    return projection.bounds(footprints);
}

std::string tooLargeMessage(const OutputSize& size, const RenderOptions& o) {
    const bool jpeg = largestPanoramaSide(o.outputFormat) == kMaxPanoramaSide;
    char text[200];
    std::snprintf(text, sizeof text, "a panorama of %.0f x %.0f pixels is larger than %s (%d pixels a side)%s",
                  size.requestedWidth > 0 ? size.requestedWidth : static_cast<double>(size.width),
                  size.requestedHeight > 0 ? size.requestedHeight : static_cast<double>(size.height),
                  jpeg ? "a JPEG can hold" : "Vantorra renders", largestPanoramaSide(o.outputFormat),
                  jpeg ? ": use --format tiff" : "");
    return text;
}

// The crop, the output size and its grid, the footprints placed on it; false when there is
// nothing to draw (the reason in the result when something should have been).
bool chooseOutput(const RenderOptions& o, RenderPlan& plan) {
    const RenderScene scene = plan.scene();
    const int reference = referencePosition(scene);
    if (reference < 0) return false;  // nothing to draw
    const ImageSize refSize = scene.sources.size(scene.component[static_cast<size_t>(reference)]);
    const ImageFootprint& refFootprint = plan.footprints[static_cast<size_t>(reference)];
    PlaneBounds crop = cropOf(o, *plan.projection, plan.footprints);
    OutputSize size;
    const bool mapped = recordedMapping(o) && mappedCrop(o.mapping, *plan.projection, crop, size);
    if (!mapped && o.autoCrop && o.cropInside && crop.thetaMin < crop.thetaMax && crop.phiMin < crop.phiMax) {
        // Covered points found as finely as the automatic crop's pixels lie.
        const OutputSize grid = outputSize(o, crop.thetaMax - crop.thetaMin, crop.phiMax - crop.phiMin, refFootprint,
                                           refSize.height, refSize.width);
        crop = insideCrop(*plan.projection, scene, plan.footprints, crop, grid.width, grid.height);
    }
    const float dT = crop.thetaMax - crop.thetaMin, dP = crop.phiMax - crop.phiMin;
    if (!(dT > 0.0f) || !(dP > 0.0f)) return false;  // nothing to draw
    if (!mapped) size = outputSize(o, dT, dP, refFootprint, refSize.height, refSize.width);
    if (size.tooLarge()) {
        plan.result.error = tooLargeMessage(size, o);
        return false;
    }
    RenderResult& result = plan.result;
    // A full turn's columns divide the turn, so that its last column neighbours its first and
    // none looks the same way as another. A recorded mapping keeps the spacing it was drawn at
    // (a recorded full turn's crop spans its W columns, which that spacing divides).
    const bool turn = mapped ? recordedTurn(o.mapping, *plan.projection) : isFullTurn(*plan.projection, dT);
    const int spans = turn ? size.width : size.width - 1;
    result.dTheta = dT / static_cast<float>(spans);
    result.dPhi = (crop.phiMin - crop.phiMax) / static_cast<float>(size.height - 1);
    plan.grid.thetaMin = crop.thetaMin;
    plan.grid.phiMax = crop.phiMax;
    plan.grid.dTheta = result.dTheta;
    plan.grid.dPhi = result.dPhi;
    plan.turnColumns = turn ? size.width : 0;
    bool cut = false;
    for (ImageFootprint& footprint : plan.footprints) {
        placeFootprint(footprint, plan.grid, spans + 1, size.height, dT, dP);
        cut |= footprint.cut;
    }
    if (cut) result.notes.push_back(cutNote(o, *plan.projection));
    result.mapping = mappingOf(o.projection, plan.grid, size.width, size.height);
    result.scale = std::min(refFootprint.firstEdgePixels / static_cast<float>(refSize.height),
                            refFootprint.secondEdgePixels / static_cast<float>(refSize.width));
    result.width = size.width;
    result.height = size.height;
    RenderOptions fullScale = o;
    fullScale.sizeMode = SizeMode::Scale;
    fullScale.scale = 1.0f;
    const OutputSize full = outputSize(fullScale, dT, dP, refFootprint, refSize.height, refSize.width);
    result.fullWidth = full.requestedWidth > 0 ? static_cast<int>(full.requestedWidth) : full.width;
    result.fullHeight = full.requestedHeight > 0 ? static_cast<int>(full.requestedHeight) : full.height;
    result.thetaMin = crop.thetaMin;
    result.thetaMax = crop.thetaMax;
    result.phiMin = crop.phiMin;
    result.phiMax = crop.phiMax;
    return true;
}

// What the render holds beside its blocks and their working bytes per pixel. Whole sources may
// take half the budget; beyond that each row of blocks decodes the rows of the photographs it
// needs, and those take the half.
void countHeldBytes(const RenderOptions& o, RenderPlan& plan, const Gains& gains, std::ostream& log) {
    const RenderScene scene = plan.scene();
    for (size_t p = 0; p < plan.footprints.size(); ++p)
        if (!plan.footprints[p].regions.empty())
            plan.sourceBytes +=
                planSource(scene.sources, o.antiAliasFactor, scene.component[p], plan.footprints[p], o.outputDepth == 16).bytes;
    const int depth = overlapDepth(plan.footprints, plan.turnColumns);
    const SeamInput seams{o,       scene,          gains, *plan.projection, plan.footprints, plan.result.width,
                          plan.result.height, outputCrop(plan.result), plan.budget, nullptr, log};
    plan.seamBytes = plan.seamFinder->heldBytes(seams);
    const bool labels = plan.seamFinder->labels();
    plan.pixelBytes = plan.compositor->blockPixelBytes(o, depth, labels) + plan.seamFinder->blockPixelBytes(depth);
    plan.margin = plan.compositor->blockMargin(o, labels);
    plan.banded = plan.sourceBytes > plan.budget / 2;
    if (plan.banded)  // a row of blocks holds what its rows sample: fewer rows, less held
        plan.cost = bandCost(o, scene, *plan.projection, plan.footprints, plan.result.height);
}

// The block side and how many blocks are composed at once; false, with the reason, when not even
// the smallest block fits. The block size never depends on the thread count: the threads share
// one block's buffers, or compose several blocks when the budget holds them.
bool planBlocks(const RenderOptions& o, RenderPlan& plan, int threads, std::ostream& log) {
    const int width = plan.result.width, height = plan.result.height;
    // A 16-bit panorama's rows of blocks take two bytes a sample: the second is counted here.
    const int64_t wideRow = o.outputDepth == 16 ? 3 * int64_t{width} : 0;
    const std::function<int64_t(int)> held = [&plan, wideRow, height](int block) {
        return plan.held(block) + wideRow * (plan.streamed ? std::min(block, height) : height);
    };
    // Every image meeting at a pixel has its own working images in a block: beyond some number of
    // them no block is small enough, and the run says so instead of outgrowing its budget by more
    // than the fixed allowance for code and decoders can absorb. (A budget smaller than a few
    // blocks' worth is otherwise rendered in the smallest blocks, as it always was.)
    if (const int64_t least = smallestBlockBytes(held, width, plan.pixelBytes, plan.margin);
        least > plan.budget + kBudgetAllowance) {
        plan.result.error = "the memory budget of " + std::to_string(plan.budget >> 20) + " MB cannot hold the " +
                            std::to_string(overlapDepth(plan.footprints, plan.turnColumns)) +
                            " photographs that meet at one place (that needs " + std::to_string((least >> 20) + 1) +
                            " MB): raise the memory setting or give fewer photographs";
        return false;
    }
    const int block = planBlockSize(plan.budget, held, width, height, plan.streamed, plan.pixelBytes, plan.margin,
                                    o.minBlockSize, o.maxBlockSize);
    plan.result.blockSize = block;
    log << "Max memory = " << plan.budget << std::endl;
    log << " Render Block Size = " << block << std::endl;
    plan.concurrentBlocks = concurrentBlocks(plan.budget, held(block), width, height, plan.streamed, plan.pixelBytes,
                                             plan.margin, block, threads);
    // A file is encoded on a thread of its own while the next row of blocks is composed, when
    // there are threads to compose it and the budget holds a second row.
    plan.overlapWriting = plan.streamed && threads > 1 && height > block &&
                          secondBandFits(plan.budget, held(block), width, height, plan.pixelBytes, plan.margin, block,
                                         plan.concurrentBlocks);
    return true;
}

}  // namespace

PlaneBounds outputCrop(const RenderResult& result) {
    return PlaneBounds{result.thetaMin, result.thetaMax, result.phiMin, result.phiMax};
}

RenderScene RenderPlan::scene() const {
    RenderScene scene = input;
    scene.cameras = result.cameras;
    return scene;
}

int64_t RenderPlan::held(int block) const {
    return (banded ? bandSourceBytes(cost, block, margin, result.height) : sourceBytes) + seamBytes;
}

std::vector<ImageFootprint> computeFootprints(const RenderScene& scene, const Projection& projection) {
    std::vector<ImageFootprint> footprints(scene.component.size());
    for (size_t p = 0; p < scene.component.size(); ++p) {
        const int k = scene.component[p];
        if (!scene.sources.drawable(k, scene.cameras)) continue;
        const ImageSize size = scene.sources.size(k);
        footprints[p] = projection.footprint(scene.cameras[static_cast<size_t>(k)], size.height, size.width);
    }
    return footprints;
}

RenderPlan planRender(const RenderOptions& options, int64_t budget, const RenderScene& scene, const Gains& gains,
                      bool streamed, int threads, std::ostream& log) {
    RenderPlan plan;
    plan.input = scene;
    plan.budget = budget;
    plan.streamed = streamed;
    if (!chooseComponents(options, plan)) return plan;
    placeCameras(options, plan, log);
    if (!chooseOutput(options, plan)) return plan;
    countHeldBytes(options, plan, gains, log);
    planBlocks(options, plan, threads, log);
    return plan;
}

}  // namespace vantorra
