// Speed of the multi-band blender's per-region kernels on a block-sized region (1084 pixels a
// side: a 1024 block with its margin), colour and one-channel: the blur at the default sigma of
// 5 (31 taps), the edge-filled blur, the accumulation into the block's sums, and the bilinear
// sampling of an 8-bit photograph into the region (a camera looking along the panorama's centre,
// whose photograph covers about half of the region), and the nearest-neighbour sampling of the
// simple compositors over the same region.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/image.h"
#include "numerics/camera.h"
#include "render/equirectangular.h"
#include "render/multiband_layers.h"
#include "render/samplers.h"

namespace vantorra {
namespace {

constexpr int kSide = 1084;
constexpr int kRadius = 15;

// A region whose image covers a disc, as a photograph's footprint covers part of a block.
RenderRegion discRegion(int channels) {
    RenderRegion region;
    region.rowFirst = region.colFirst = 0;
    region.rowLast = region.colLast = kSide - 1;
    region.warped.allocate(kSide, kSide, channels);
    region.weight.allocate(kSide, kSide, 1);
    const float centre = kSide / 2.0f;
    for (int r = 0; r < kSide; ++r)
        for (int c = 0; c < kSide; ++c) {
            if (std::hypot(r - centre, c - centre) > 0.45f * kSide) continue;
            region.weight.at(r, c, 0) = 1.0f;
            for (int k = 0; k < channels; ++k) region.warped.at(r, c, k) = static_cast<float>((r * 7 + c * 3 + k) % 251);
        }
    computeValidExtents(region);
    return region;
}

void blur(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    const RenderRegion region = discRegion(channels);
    const std::vector<float> kernel = gaussianKernel(5.0f, kRadius);
    BlurBuffers buffers;
    FloatImage image;
    for (auto _ : state) {
        image = region.warped;
        blurInPlace(image, kernel, kRadius, buffers);
        benchmark::DoNotOptimize(image.data.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(blur)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

void edgeFilled(benchmark::State& state) {
    const RenderRegion region = discRegion(3);
    const std::vector<float> kernel = gaussianKernel(5.0f, kRadius);
    BlurBuffers buffers;
    FloatImage low;
    for (auto _ : state) {
        edgeFilledBlur(region.warped, low, region, kernel, kRadius, buffers);
        benchmark::DoNotOptimize(low.data.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(edgeFilled)->Unit(benchmark::kMillisecond);

void accumulateLayer(benchmark::State& state) {
    const RenderRegion region = discRegion(3);
    FloatImage colourSum(kSide, kSide, 3), weightSum(kSide, kSide, 1);
    for (auto _ : state) {
        accumulateDifference(region.warped, region.warped, region.weight, region, colourSum, weightSum);
        benchmark::DoNotOptimize(colourSum.data.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(accumulateLayer)->Unit(benchmark::kMillisecond);

// A 3000 x 2000 photograph of focal 2400 pixels whose centre is the panorama's centre, on a grid
// of a third of a photograph pixel per output pixel, and a region of the whole block.
struct SamplingScene {
    SamplingScene() {
        photo.allocate(2000, 3000, 3);
        for (size_t k = 0; k < photo.data.size(); ++k) photo.data[k] = static_cast<uint8_t>((k * 37) % 251);
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        const float centre[9] = {1, 0, 999.5f, 0, 1, 1499.5f, 0, 0, 1};  // centred position -> pixel
        const Camera camera(Matrix::fromRowMajor(identity, 3, 3), 2400.0f, Matrix::fromRowMajor(centre, 3, 3));
        projection = pixelProjection(camera);
        grid.dTheta = 3.0f / 2400.0f;
        grid.dPhi = -3.0f / 2400.0f;
        grid.thetaMin = -grid.dTheta * kSide / 2;
        grid.phiMax = -grid.dPhi * kSide / 2;
        region.active = true;
        region.rowLast = region.colLast = kSide - 1;
    }
    Image photo;
    PixelProjection projection;
    PanoramaGrid grid;
    RenderRegion region;
    const Equirectangular output;
};

void sample(benchmark::State& state) {
    SamplingScene s;
    FloatImage maxWeight(kSide, kSide, 1);
    const SourceView view = viewOf(s.photo);
    for (auto _ : state) {
        sampleBilinear(s.region, maxWeight, view, s.grid, s.output, s.projection, nullptr);
        benchmark::DoNotOptimize(s.region.warped.data.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    const auto inside = std::count_if(s.region.weight.data.begin(), s.region.weight.data.end(), [](float w) { return w > 0.0f; });
    state.counters["inside"] = static_cast<double>(inside) / (double{kSide} * kSide);
}
BENCHMARK(sample)->Unit(benchmark::kMillisecond);

void sampleNearestOnes(benchmark::State& state) {
    SamplingScene s;
    FloatImage block(kSide, kSide, 3), weightSum(kSide, kSide, 1);
    const SourceView view = viewOf(s.photo);
    for (auto _ : state) {
        sampleNearestWeighted(block, weightSum, view, s.region, s.grid, s.output, s.projection);
        benchmark::DoNotOptimize(block.data.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(sampleNearestOnes)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantorra

BENCHMARK_MAIN();
