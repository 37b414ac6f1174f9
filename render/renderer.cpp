#include "render/renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <span>
#include <ostream>

#include "options/option_ranges.h"
#include "render/block_loop.h"
#include "render/block_plan.h"
#include "render/gain_compensation.h"
#include "render/prepared_source.h"
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

// Source rows (of the reduced source) that output rows top .. bottom of `footprint` can sample:
// the projections of points spread over the part of each region in those rows, widened by two
// rows for bilinear sampling and rounding. The whole source when a point falls behind the camera.
bool sourceRowsOf(const ImageFootprint& footprint, const PixelProjection& projection, int top, int bottom, int sourceRows,
                  int& first, int& last) {
    float lo = INFINITY, hi = -INFINITY;
    bool any = false;
    const PanoramaGrid& g = footprint.grid;
    constexpr int kStep = 16;
    for (const RenderRegion& region : footprint.regions) {
        const int r0 = std::max(top, region.rowFirst), r1 = std::min(bottom, region.rowLast);
        if (r0 > r1) continue;
        any = true;
        auto visit = [&](int i, int j) {
            const Vec3 d = directionOf(g.thetaMin + static_cast<float>(j) * g.dTheta,
                                       g.phiMax + static_cast<float>(i) * g.dPhi);
            float row = NAN;
            if (projection.bent()) {
                float column;
                projectBent(projection, d, row, column);
            } else if (const Vec3 p = projection.P * d; p.z > 0.0f) {
                row = p.x / p.z;
            }
            if (std::isnan(row)) {  // behind the camera or beyond its lens's fold
                lo = -INFINITY;
                hi = INFINITY;
                return;
            }
            lo = std::fmin(lo, row);
            hi = std::fmax(hi, row);
        };
        for (int i = r0;; i = std::min(r1, i + kStep)) {
            for (int j = region.colFirst;; j = std::min(region.colLast, j + kStep)) {
                visit(i, j);
                if (j == region.colLast) break;
            }
            if (i == r1) break;
        }
    }
    if (!any) return false;
    first = std::isfinite(lo) ? std::max(0, static_cast<int>(std::floor(lo)) - 2) : 0;
    last = std::isfinite(hi) ? std::min(sourceRows - 1, static_cast<int>(std::ceil(hi)) + 2)
                             : sourceRows - 1;
    return first <= last;
}

// What the band sources of a row of blocks hold, found once for every block height: per source,
// the reduced rows each chunk of kRowChunk output rows can sample.
constexpr int kRowChunk = 16;

struct BandCost {
    struct Source {
        int64_t wholeBytes = 0;  // a source made whole whatever the band (from the feature image)
        int64_t rowBytes = 0;    // one reduced row, for one decoded by rows
        int radius = 0;          // the blur's reach beyond the band, in reduced rows
        int rows = 0;
        std::vector<int> first, last;  // per chunk; first > last where the chunk samples nothing
    };
    std::vector<Source> sources;
};

BandCost bandCost(const RenderOptions& o, const RenderScene& scene, const std::vector<ImageFootprint>& footprints,
                  int height) {
    BandCost cost;
    const int chunks = (height + kRowChunk - 1) / kRowChunk;
    for (size_t p = 0; p < footprints.size() && p < scene.component.size(); ++p) {
        if (footprints[p].regions.empty()) continue;
        const int image = scene.component[p];
        const SourcePlan plan = planSource(scene.sources, o.antiAliasFactor, image, footprints[p]);
        BandCost::Source s;
        if (plan.fromFeatureImage) {
            s.wholeBytes = plan.bytes;
            cost.sources.push_back(std::move(s));
            continue;
        }
        s.rowBytes = int64_t{plan.cols} * 3;
        s.radius = plan.sigma > 0.0f ? static_cast<int>(std::floor(3.0f * plan.sigma + 0.5f)) : 0;
        s.rows = plan.rows;
        Camera reduced = scene.cameras[static_cast<size_t>(image)];
        reduced.imageTransform = multiply(reductionMatrix(-plan.halvings), reduced.imageTransform);
        const PixelProjection projection = pixelProjection(reduced);
        s.first.assign(static_cast<size_t>(chunks), 1);
        s.last.assign(static_cast<size_t>(chunks), 0);
        for (int c = 0; c < chunks; ++c)
            sourceRowsOf(footprints[p], projection, c * kRowChunk, std::min(height - 1, c * kRowChunk + kRowChunk - 1),
                         plan.rows, s.first[static_cast<size_t>(c)], s.last[static_cast<size_t>(c)]);
        cost.sources.push_back(std::move(s));
    }
    return cost;
}

// The most the band sources of any row of blocks `block` rows high (with the margin) hold.
int64_t bandSourceBytes(const BandCost& cost, int block, int margin, int height) {
    int64_t most = 0;
    for (int top = 0; top < height; top += block) {
        const int lo = std::max(0, top - margin) / kRowChunk;
        const int hi = std::min(height - 1, top + block - 1 + margin) / kRowChunk;
        int64_t bytes = 0;
        for (const BandCost::Source& s : cost.sources) {
            if (s.rowBytes == 0) {
                bytes += s.wholeBytes;
                continue;
            }
            int first = s.rows, last = -1;
            for (int c = lo; c <= hi; ++c) {
                if (s.first[static_cast<size_t>(c)] > s.last[static_cast<size_t>(c)]) continue;
                first = std::min(first, s.first[static_cast<size_t>(c)]);
                last = std::max(last, s.last[static_cast<size_t>(c)]);
            }
            if (first <= last) bytes += s.rowBytes * std::min(s.rows, last - first + 1 + 2 * s.radius);
        }
        most = std::max(most, bytes);
    }
    return most;
}

// The most images whose placed regions meet at any one output rectangle: an upper bound on
// how many images a block pixel is sampled from.
int overlapDepth(const std::vector<ImageFootprint>& placed) {
    int depth = 1;
    for (const ImageFootprint& a : placed)
        for (const RenderRegion& ra : a.regions) {
            int meeting = 0;
            for (const ImageFootprint& b : placed)
                for (const RenderRegion& rb : b.regions)
                    if (ra.rowFirst <= rb.rowLast && rb.rowFirst <= ra.rowLast &&
                        ra.colFirst <= rb.colLast && rb.colFirst <= ra.colLast)
                        ++meeting;
            depth = std::max(depth, meeting);
        }
    return depth;
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

// The sources of one row of blocks (output rows top .. bottom): decoded photographs cut to the
// rows the band samples, the kept feature images whole.
std::vector<PreparedSource> prepareBandSources(const RenderOptions& options, const RenderScene& scene,
                                               const Gains& gains,
                                               const std::vector<ImageFootprint>& footprints, int top,
                                               int bottom, ThreadPool* pool) {
    std::vector<PreparedSource> sources(scene.component.size());
    const Gains none;
    auto prepare = [&](size_t p, int) {
        const int image = scene.component[p];
        if (footprints[p].regions.empty()) return;
        const SourcePlan plan = planSource(scene.sources, options.antiAliasFactor, image, footprints[p]);
        const Camera& camera = scene.cameras[static_cast<size_t>(image)];
        const Gains& g = options.gainCompensation ? gains : none;
        if (plan.fromFeatureImage) {
            sources[p] = prepareSource(scene.sources, plan, image, camera, g);
            return;
        }
        Camera reduced = camera;
        reduced.imageTransform = multiply(reductionMatrix(-plan.halvings), camera.imageTransform);
        int first = 0, last = 0;
        if (!sourceRowsOf(footprints[p], pixelProjection(reduced), top, bottom, plan.rows, first, last))
            return;  // nothing of it in this band
        sources[p] = prepareSourceRows(scene.sources, plan, image, camera, g, first, last);
    };
    const size_t count = std::min(scene.component.size(), footprints.size());
    if (pool != nullptr) pool->parallelFor(count, prepare);
    else for (size_t p = 0; p < count; ++p) prepare(p, 0);
    return sources;
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
        const ImageSize size = scene.sources.size(k);
        footprints[p] = computeFootprint(scene.cameras[static_cast<size_t>(k)], size.height,
                                         size.width);
    }
    return footprints;
}

bool seamTurn(const std::vector<ImageFootprint>& footprints, Matrix& turn, std::ostream& log) {
    if (!coverage(footprints, -kPi).found) return false;
    log << "pano is split" << std::endl;
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
            log << label << cur << std::endl;
            if (!c.found || cur == prev) break;
        }
        return cur;
    };
    const float thetaMaxOverlap = reach(-kPi, true, "thetaMaxOverlap = ");
    const float thetaMinOverlap = reach(kPi, false, "thetaMinOverlap = ");

    if (!(thetaMaxOverlap < thetaMinOverlap)) return false;  // the covered arcs meet
    const float thetaMiddle = 0.5f * thetaMaxOverlap + kPi + 0.5f * thetaMinOverlap;
    log << "theta middle = " << thetaMiddle << std::endl;
    turn = rotationX(-thetaMiddle);
    return true;
}

RenderResult Renderer::render(Image& panorama, const RenderScene& input, const Gains& gains,
                              ProgressReporter& progress, std::ostream& log, ThreadPool* pool) const {
    ImageSink sink(panorama);
    RenderResult result = render(sink, input, gains, progress, log, pool);
    if (!result.rendered) panorama.clear();
    return result;
}

RenderResult Renderer::render(PanoramaSink& sink, const RenderScene& input, const Gains& gains,
                              ProgressReporter& progress, std::ostream& log, ThreadPool* pool) const {
    const RenderOptions& o = options;
    RenderResult result;
    RenderScene scene = input;
    std::vector<ImageFootprint> footprints = computeFootprints(scene);
    Matrix turn;
    if (seamTurn(footprints, turn, log)) {
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
    if (reference < 0 || !(dT > 0.0f) || !(dP > 0.0f)) return result;  // nothing to draw
    const int refImage = scene.component[static_cast<size_t>(reference)];
    const ImageSize refSize = scene.sources.size(refImage);
    const ImageFootprint& refFootprint = footprints[static_cast<size_t>(reference)];
    const OutputSize size = outputSize(o, dT, dP, refFootprint, refSize.height, refSize.width);
    if (size.tooLarge()) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "a panorama of %.0f x %.0f pixels is larger than a JPEG can hold (%d pixels a side)",
                      size.requestedWidth > 0 ? size.requestedWidth : static_cast<double>(size.width),
                      size.requestedHeight > 0 ? size.requestedHeight : static_cast<double>(size.height),
                      kMaxPanoramaSide);
        result.error = text;
        return result;
    }
    result.dTheta = dT / static_cast<float>(size.width - 1);
    result.dPhi = (crop.phiMin - crop.phiMax) / static_cast<float>(size.height - 1);

    PanoramaGrid grid;
    grid.thetaMin = crop.thetaMin;
    grid.phiMax = crop.phiMax;
    grid.dTheta = result.dTheta;
    grid.dPhi = result.dPhi;
    for (ImageFootprint& footprint : footprints)
        placeFootprint(footprint, grid, size.width, size.height, dT, dP);

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

    // Sources first: what they hold is known before the blocks are sized.
    int64_t sourceBytes = 0;
    for (size_t p = 0; p < footprints.size(); ++p)
        if (!footprints[p].regions.empty())
            sourceBytes += planSource(scene.sources, o.antiAliasFactor, scene.component[p], footprints[p]).bytes;
    // The block size never depends on the thread count: the threads share one block's buffers.
    // Whole sources may take half the budget; beyond that each row of blocks decodes the rows
    // of the photographs it needs, and those take the half.
    const int64_t pixelBytes = blockPixelBytes(o, overlapDepth(footprints));
    const bool banded = sourceBytes > o.renderMemoryBudget / 2;
    const int margin = renderBlockMargin(o);
    std::function<int64_t(int)> held = [sourceBytes](int) { return sourceBytes; };
    BandCost cost;
    if (banded) {  // a row of blocks holds what its rows sample: fewer rows, less held
        cost = bandCost(o, scene, footprints, size.height);
        held = [&cost, margin, &size](int block) { return bandSourceBytes(cost, block, margin, size.height); };
    }
    // Every image meeting at a pixel has its own working images in a block: beyond some number of
    // them no block is small enough, and the run says so instead of outgrowing its budget by more
    // than the fixed allowance for code and decoders can absorb. (A budget smaller than a few
    // blocks' worth is otherwise rendered in the smallest blocks, as it always was.)
    constexpr int64_t kAbsorbed = int64_t{32} << 20;
    if (const int64_t least = smallestBlockBytes(held, size.width, pixelBytes, margin);
        least > o.renderMemoryBudget + kAbsorbed) {
        result.error = "the memory budget of " + std::to_string(o.renderMemoryBudget >> 20) + " MB cannot hold the " +
                       std::to_string(overlapDepth(footprints)) + " photographs that meet at one place (that needs " +
                       std::to_string((least >> 20) + 1) + " MB): raise the memory setting or give fewer photographs";
        return result;
    }
    result.blockSize = planBlockSize(o.renderMemoryBudget, held, size.width, size.height, !sink.holdsWholePanorama(),
                                     pixelBytes, margin, o.minBlockSize, o.maxBlockSize);
    log << "Max memory = " << o.renderMemoryBudget << std::endl;
    log << " Render Block Size = " << result.blockSize << std::endl;

    if (!sink.begin(size.width, size.height)) {
        result.error = sink.error();
        return result;
    }
    const RenderContext context{o, scene, gains, progress, {}, pool, &log};
    std::vector<PreparedSource> sources;
    BandSources bandSources;
    if (!banded) {
        sources = prepareSources(o, scene, gains, footprints, pool);
        bandSources = [&](int, int) { return std::span<const PreparedSource>(sources); };
    } else {
        log << " Sources of " << sourceBytes << " bytes exceed the budget: decoding rows per block row"
                  << std::endl;
        // The margin by value: the lambda outlives this block.
        bandSources = [&, margin](int bandTop, int bandRows) {
            sources = prepareBandSources(o, scene, gains, footprints, bandTop - margin,
                                         bandTop + bandRows - 1 + margin, pool);
            return std::span<const PreparedSource>(sources);
        };
    }
    // Blocks of a row composed at once on their own threads, as many as the pool has and the
    // budget holds; the panorama does not depend on how many.
    BlockLoop loop{size.width, size.height, result.blockSize, 1};
    loop.concurrentBlocks = concurrentBlocks(o.renderMemoryBudget, held(result.blockSize), size.width, size.height,
                                             !sink.holdsWholePanorama(), pixelBytes, margin, result.blockSize,
                                             pool != nullptr ? pool->size() : 1);
    log << " Blocks at once = " << loop.concurrentBlocks << std::endl;
    // A file is encoded on a thread of its own while the next row of blocks is composed, when
    // there are threads to compose it and the budget holds a second row.
    loop.overlapWriting = !sink.holdsWholePanorama() && pool != nullptr && pool->size() > 1 &&
                          size.height > result.blockSize &&
                          secondBandFits(o.renderMemoryBudget, held(result.blockSize), size.width, size.height,
                                         pixelBytes, margin, result.blockSize, loop.concurrentBlocks);
    if (!renderBlocks(sink, loop, context, footprints, grid, bandSources) ||
        !sink.finish()) {
        result.error = sink.error();
        return result;
    }
    result.rendered = true;
    return result;
}

}  // namespace vantorra
