#include "render/samplers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>
#include <vector>

#include "core/row_ranges.h"
#include "numerics/wide_vectors.h"

namespace vantorra {
namespace {

constexpr int kRun = kDirectionRun;  // pixels of a row whose positions are worked out together

// Where a region's pixels look: the output projection on the footprint's grid, with the terms of
// the region's columns made once for all its rows.
struct RegionRays {
    RegionRays(const RenderRegion& region, const PanoramaGrid& grid, const Projection& projection)
        : region(region), grid(grid), projection(projection) {
        projection.columnTerms(grid, region.colFirst, region.colLast - region.colFirst + 1, terms);
    }
    const RenderRegion& region;
    const PanoramaGrid& grid;
    const Projection& projection;
    ColumnTerms terms;
};

// Walks the region's rows firstRow .. lastRow calling visitRun(blockRow, firstCol, n, u, v) with
// the source positions (rows u, columns v) of a run of n pixels: the projection gives a run's
// positions through an unbent camera at once; through a bent lens it gives the directions and
// each goes through the lens on its own.
template <typename VisitRun>
void walkRuns(const RegionRays& rays, const PixelProjection& camera, int firstRow, int lastRow, VisitRun visitRun) {
    alignas(32) float u[kRun];
    alignas(32) float v[kRun];
    DirectionRun d;
    const RenderRegion& region = rays.region;
    const bool bent = camera.bent();
    for (int i = firstRow; i <= lastRow; ++i) {
        for (int first = region.colFirst; first <= region.colLast; first += kRun) {
            const int n = std::min(kRun, region.colLast - first + 1);
            const int offset = first - region.colFirst;
            if (bent) {
                rays.projection.runDirections(rays.grid, i, rays.terms, offset, n, d);
                for (int t = 0; t < n; ++t) projectBent(camera, Vec3{d.x[t], d.y[t], d.z[t]}, u[t], v[t]);
            } else {
                rays.projection.runPositions(rays.grid, i, rays.terms, offset, n, camera.P, u, v);
            }
            visitRun(i, first, n, u, v);
        }
    }
}

// The same over the whole region, calling visit(blockRow, blockCol, u, v) for every pixel.
template <typename Visit>
void walkRegion(const RenderRegion& region, const PanoramaGrid& grid, const Projection& projection,
                const PixelProjection& camera, Visit visit) {
    const RegionRays rays(region, grid, projection);
    walkRuns(rays, camera, region.rowFirst, region.rowLast, [&](int i, int first, int n, const float* u, const float* v) {
        for (int t = 0; t < n; ++t) visit(i, first + t, u[t], v[t]);
    });
}

// Rounded source pixel of (u, v), false when it lies outside (or the position is not a number).
inline bool nearestPixel(float u, float v, int rows, int cols, int& r, int& c) {
    const float fr = std::floor(u + 0.5f), fc = std::floor(v + 0.5f);
    if (!(fr >= 0.0f && fr < static_cast<float>(rows) && fc >= 0.0f &&
          fc < static_cast<float>(cols)))
        return false;
    r = static_cast<int>(fr);
    c = static_cast<int>(fc);
    return true;
}

// The tent weight of the pixel at (fr, fc) of a photograph whose centre is (cr, cc), both > 0:
// 1 at the centre, falling linearly to 0 at the border.
inline float tent(float fr, float fc, float cr, float cc) {
    return (cc - std::fabs(fc - cc)) * (cr - std::fabs(fr - cr)) / (cr * cc);
}

// Where a run of positions falls for bilinear sampling: the top-left source pixel, the four
// weights and the tent weight of each, and whether it counts (inside the photograph, both rows
// held by the view, a number).
struct alignas(32) BilinearRun {  // every array a whole number of vectors long
    int32_t r0[kRun], c0[kRun], inside[kRun];
    float w00[kRun], w01[kRun], w10[kRun], w11[kRun], tent[kRun];
};

// The floats of one pixel at a time (floor, the four weights, tentWeight of the top-left pixel
// plus a millionth), worked out for a vector of pixels at once.
VANTORRA_WIDE_VECTORS
void locateBilinear(const float* u, const float* v, int n, const SourceView& source, BilinearRun& run) {
    const float rows = static_cast<float>(source.sourceRows()), cols = static_cast<float>(source.cols);
    const float cr = static_cast<float>(source.sourceRows() - 1) / 2.0f, cc = static_cast<float>(source.cols - 1) / 2.0f;
    const int32_t heldFirst = source.rowOffset, heldEnd = source.rowOffset + source.rows;
    for (int t = 0; t < n; ++t) {
        const float fr = std::floor(u[t]), fc = std::floor(v[t]);
        const int32_t within = (fr >= 0.0f) & (fr + 1.0f < rows) & (fc >= 0.0f) & (fc + 1.0f < cols);
        // Converted only when inside: the conversion of a position far outside is undefined.
        const int32_t r0 = static_cast<int32_t>(within ? fr : 0.0f), c0 = static_cast<int32_t>(within ? fc : 0.0f);
        run.r0[t] = r0;
        run.c0[t] = c0;
        run.inside[t] = within & (r0 >= heldFirst) & (r0 + 1 < heldEnd);
        const float du = u[t] - fr, dv = v[t] - fc;
        run.w00[t] = (1 - du) * (1 - dv);
        run.w01[t] = (1 - du) * dv;
        run.w10[t] = du * (1 - dv);
        run.w11[t] = du * dv;
        // tentWeight(r0, c0, ...), whose pixel coordinates are fr and fc. A position inside has a
        // pixel below and to the right, so the photograph has an interior (cr, cc > 0); outside
        // ones are not used.
        run.tent[t] = tent(fr, fc, cr, cc) + 1.0e-6f;
    }
}

// Whether the four source pixels from (r, c) to (r + 1, c + 1) are all covered (a held row r).
inline bool covered(const SourceView& source, int r, int c) {
    if (source.cover == nullptr) return true;
    const uint8_t* top = &source.cover[static_cast<size_t>(r - source.rowOffset) * source.cols + c];
    const uint8_t* bottom = top + source.cols;
    return top[0] != 0 && top[1] != 0 && bottom[0] != 0 && bottom[1] != 0;
}

// Whether source pixel (r, c) of a held row is covered.
inline bool coveredPixel(const SourceView& source, int r, int c) {
    return source.cover == nullptr || source.cover[static_cast<size_t>(r - source.rowOffset) * source.cols + c] != 0;
}

// Calls visit(samples) with the typed sample pointer of the view, so each sampler's inner loop is
// compiled for float and for 8-bit sources.
template <typename Visit>
void withSamples(const SourceView& source, Visit visit) {
    if (source.floats != nullptr) visit(source.floats);
    else if (source.bytes != nullptr) visit(source.bytes);
}

// Region rows first .. end - 1 (counted from the region's top) sampled bilinearly into the
// region's warped image and weight, raising maxWeight; kFixed channels (0: the source's count),
// gains left out when kUnit.
template <int kFixed, bool kUnit, typename Sample>
void sampleBilinearRows(RenderRegion& region, FloatImage& maxWeight, const SourceView& source, const Sample* samples,
                        const RegionRays& rays, const PixelProjection& P, int first, int end) {
    const int regionCols = region.colLast - region.colFirst + 1;
    const size_t rowStride = static_cast<size_t>(source.cols) * source.channels;
    const std::array<float, 3> g = source.gain;
    auto gained = [&](auto sample, int k) {
        return kUnit ? static_cast<float>(sample) : static_cast<float>(sample) * g[static_cast<size_t>(k)];
    };
    const int channels = kFixed > 0 ? kFixed : source.channels;
    BilinearRun run;
    walkRuns(rays, P, region.rowFirst + first, region.rowFirst + end - 1,
             [&](int i, int firstCol, int n, const float* u, const float* v) {
        locateBilinear(u, v, n, source, run);
        const size_t rowStart = static_cast<size_t>(i - region.rowFirst) * regionCols +
                                static_cast<size_t>(firstCol - region.colFirst);
        float* maxRow = &maxWeight.data[static_cast<size_t>(i) * maxWeight.cols + firstCol];
        for (int t = 0; t < n; ++t) {
            const size_t local = rowStart + static_cast<size_t>(t);
            float* out = &region.warped.data[local * channels];
            if (!run.inside[t] || !covered(source, run.r0[t], run.c0[t])) {
                std::fill(out, out + channels, 0.0f);
                region.weight.data[local] = 0.0f;
                continue;
            }
            const auto* s00 = &samples[static_cast<size_t>(run.r0[t] - source.rowOffset) * rowStride +
                                       static_cast<size_t>(run.c0[t]) * channels];
            const auto* s10 = s00 + rowStride;
            const float w00 = run.w00[t], w01 = run.w01[t], w10 = run.w10[t], w11 = run.w11[t];
            for (int k = 0; k < channels; ++k)
                out[k] = w00 * gained(s00[k], k) + w01 * gained(s00[channels + k], k) +
                         w10 * gained(s10[k], k) + w11 * gained(s10[channels + k], k);
            const float weight = run.tent[t];
            region.weight.data[local] = weight;
            maxRow[t] = std::max(maxRow[t], weight);
        }
    });
}

}  // namespace

float tentWeight(int r, int c, int rows, int cols) {
    const float cr = static_cast<float>(rows - 1) / 2.0f, cc = static_cast<float>(cols - 1) / 2.0f;
    if (cr <= 0.0f || cc <= 0.0f) return 0.0f;  // no interior to favour
    return tent(static_cast<float>(r), static_cast<float>(c), cr, cc);
}

void sampleNearest(FloatImage& block, const SourceView& source, const RenderRegion& region,
                   const PanoramaGrid& grid, const Projection& projection, const PixelProjection& P) {
    const int channels = std::min(block.channels, source.channels);
    const std::array<float, 3> g = source.gain;
    withSamples(source, [&](const auto* samples) {
        walkRegion(region, grid, projection, P, [&](int i, int j, float u, float v) {
            int r, c;
            if (!nearestPixel(u, v, source.sourceRows(), source.cols, r, c) || !source.holds(r) ||
                !coveredPixel(source, r, c))
                return;
            const auto* s = &samples[(static_cast<size_t>(r - source.rowOffset) * source.cols + c) *
                                     source.channels];
            float* b = &block.data[(static_cast<size_t>(i) * block.cols + j) * block.channels];
            for (int k = 0; k < channels; ++k) b[k] = static_cast<float>(s[k]) * g[static_cast<size_t>(k)];
        });
    });
}

void sampleNearestWeighted(FloatImage& block, FloatImage& weightSum, const SourceView& source,
                           const RenderRegion& region, const PanoramaGrid& grid, const Projection& projection,
                           const PixelProjection& P) {
    const int channels = std::min(block.channels, source.channels);
    const std::array<float, 3> g = source.gain;
    withSamples(source, [&](const auto* samples) {
        walkRegion(region, grid, projection, P, [&](int i, int j, float u, float v) {
            int r, c;
            if (!nearestPixel(u, v, source.sourceRows(), source.cols, r, c) || !source.holds(r) ||
                !coveredPixel(source, r, c))
                return;
            const float w = tentWeight(r, c, source.sourceRows(), source.cols);
            const auto* s = &samples[(static_cast<size_t>(r - source.rowOffset) * source.cols + c) *
                                     source.channels];
            const size_t pixel = static_cast<size_t>(i) * block.cols + j;
            float* b = &block.data[pixel * block.channels];
            for (int k = 0; k < channels; ++k)
                b[k] += w * (static_cast<float>(s[k]) * g[static_cast<size_t>(k)]);
            weightSum.data[pixel] += w;
        });
    });
}

void sampleBilinear(RenderRegion& region, FloatImage& maxWeight, const SourceView& source,
                    const PanoramaGrid& grid, const Projection& projection, const PixelProjection& P,
                    ThreadPool* pool) {
    const int regionRows = region.rowLast - region.rowFirst + 1;
    const int regionCols = region.colLast - region.colFirst + 1;
    // Every pixel is written below, those the photograph does not reach with zeros.
    const bool any = source.floats != nullptr || source.bytes != nullptr;
    region.warped.reshape(regionRows, regionCols, source.channels);
    region.weight.reshape(regionRows, regionCols, 1);
    if (!any) {
        region.warped.allocate(regionRows, regionCols, source.channels);
        region.weight.allocate(regionRows, regionCols, 1);
        return;
    }
    const RegionRays rays(region, grid, projection);
    const std::array<float, 3> g = source.gain;
    const bool unit = g[0] == 1.0f && g[1] == 1.0f && g[2] == 1.0f;
    withSamples(source, [&](const auto* samples) {
        auto rows = [&](auto fixedChannels, auto unitGains) {
            constexpr int kFixed = decltype(fixedChannels)::value;
            constexpr bool kUnit = decltype(unitGains)::value;
            forRowRanges(pool, regionRows, [&](int first, int end, int) {
                sampleBilinearRows<kFixed, kUnit>(region, maxWeight, source, samples, rays, P, first, end);
            });
        };
        // Compiled apart for colour sources, whose channel count is then a constant, and for
        // unit gains (no gain compensation), whose products by 1 change nothing.
        if (source.channels == 3 && unit) rows(std::integral_constant<int, 3>{}, std::true_type{});
        else if (source.channels == 3) rows(std::integral_constant<int, 3>{}, std::false_type{});
        else if (unit) rows(std::integral_constant<int, 0>{}, std::true_type{});
        else rows(std::integral_constant<int, 0>{}, std::false_type{});
    });
}

}  // namespace vantorra
