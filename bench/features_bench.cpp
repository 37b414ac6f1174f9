// Feature extraction speed on real views: one 600x400 and one 1200x800 grey image.
// Reads a view of the shared data sets; skips when they are not present.

#include <benchmark/benchmark.h>

#include <string>

#include "core/image.h"
#include "features/arena_pools.h"
#include "features/extract_features.h"
#include "features/feature_image.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

const std::string kView = std::string(VANTORRA_SHARED_DATA) + "/row6/DSC_0100.jpg";

// The view reduced by `halvings`, as the float image the grey raster is made from.
bool loadView(int halvings, FloatImage& image) {
    if (!readPhoto(kView, image)) return false;
    for (int k = 0; k < halvings; ++k) image = halfSize(image);
    return true;
}

void extract(benchmark::State& state) {
    FloatImage image;
    if (!loadView(static_cast<int>(state.range(0)), image)) {
        state.SkipWithError("shared data not present");
        return;
    }
    int64_t features = 0;
    for (auto _ : state) {
        // The grey raster lives in pool 1 like in the matching stage; building it is not timed.
        state.PauseTiming();
        poolRelease(kScratchPool);
        poolRelease(kFeaturePool);
        const GreyRaster* grey = greyRaster(image);
        state.ResumeTiming();
        features = 0;
        for (const Feature* f = extractFeatures(*grey, 2); f != nullptr; f = f->next) ++features;
        benchmark::DoNotOptimize(features);
    }
    poolRelease(kScratchPool);
    poolRelease(kFeaturePool);
    state.counters["features"] = static_cast<double>(features);
    state.SetLabel(std::to_string(image.cols) + "x" + std::to_string(image.rows));
}

// 1200x800 views: one halving gives 600x400.
BENCHMARK(extract)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace vantorra

BENCHMARK_MAIN();
