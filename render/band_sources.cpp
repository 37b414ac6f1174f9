#include "render/band_sources.h"

#include <algorithm>
#include <cmath>

namespace vantorra {

bool sourceRowsOf(const ImageFootprint& footprint, const Projection& output, const PixelProjection& projection, int top,
                  int bottom, int sourceRows, int& first, int& last) {
    float lo = INFINITY, hi = -INFINITY;
    bool any = false;
    const PanoramaGrid& g = footprint.grid;
    constexpr int kStep = 16;
    for (const RenderRegion& region : footprint.regions) {
        const int r0 = std::max(top, region.rowFirst), r1 = std::min(bottom, region.rowLast);
        if (r0 > r1) continue;
        any = true;
        auto visit = [&](int i, int j) {
            const Vec3 d = output.direction(g.thetaMin + static_cast<float>(j) * g.dTheta,
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

BandCost bandCost(const RenderOptions& o, const RenderScene& scene, const Projection& output,
                  const std::vector<ImageFootprint>& footprints, int height) {
    constexpr int kRowChunk = BandCost::kRowChunk;
    BandCost cost;
    const int chunks = (height + kRowChunk - 1) / kRowChunk;
    for (size_t p = 0; p < footprints.size() && p < scene.component.size(); ++p) {
        if (footprints[p].regions.empty()) continue;
        const int image = scene.component[p];
        const SourcePlan plan = planSource(scene.sources, o.antiAliasFactor, image, footprints[p], o.outputDepth == 16);
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
            sourceRowsOf(footprints[p], output, projection, c * kRowChunk, std::min(height - 1, c * kRowChunk + kRowChunk - 1),
                         plan.rows, s.first[static_cast<size_t>(c)], s.last[static_cast<size_t>(c)]);
        cost.sources.push_back(std::move(s));
    }
    return cost;
}

int64_t bandSourceBytes(const BandCost& cost, int block, int margin, int height) {
    constexpr int kRowChunk = BandCost::kRowChunk;
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

std::vector<PreparedSource> prepareBandSources(const RenderOptions& options, const RenderScene& scene,
                                               const Gains& gains, const Projection& output,
                                               const std::vector<ImageFootprint>& footprints, int top, int bottom,
                                               ThreadPool* pool) {
    std::vector<PreparedSource> sources(scene.component.size());
    const Gains none;
    auto prepare = [&](size_t p, int) {
        const int image = scene.component[p];
        if (footprints[p].regions.empty()) return;
        const SourcePlan plan = planSource(scene.sources, options.antiAliasFactor, image, footprints[p], options.outputDepth == 16);
        const Camera& camera = scene.cameras[static_cast<size_t>(image)];
        const Gains& g = options.gainCompensation ? gains : none;
        if (plan.fromFeatureImage) {
            sources[p] = prepareSource(scene.sources, plan, image, camera, g);
            return;
        }
        Camera reduced = camera;
        reduced.imageTransform = multiply(reductionMatrix(-plan.halvings), camera.imageTransform);
        int first = 0, last = 0;
        if (!sourceRowsOf(footprints[p], output, pixelProjection(reduced), top, bottom, plan.rows, first, last))
            return;  // nothing of it in this band
        sources[p] = prepareSourceRows(scene.sources, plan, image, camera, g, first, last);
    };
    const size_t count = std::min(scene.component.size(), footprints.size());
    if (pool != nullptr) pool->parallelFor(count, prepare);
    else for (size_t p = 0; p < count; ++p) prepare(p, 0);
    return sources;
}

}  // namespace vantorra
