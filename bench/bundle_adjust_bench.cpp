// Time of one bundle adjustment over synthetic matches from known cameras: six cameras panning
// in a row, up to 300 matches per ordered pair, from the same perturbed start every time.

#include <benchmark/benchmark.h>

#include <iostream>
#include <sstream>

#include "adjust/bundle_adjuster.h"
#include "adjust/normal_equations.h"
#include "tests/adjust/synthetic_scene.h"

namespace {

using namespace vantorra;

synthetic::SyntheticScene benchScene(int cameras) {
    synthetic::SceneShape shape;
    shape.cameras = cameras;
    shape.matchesPerPair = 300;
    return synthetic::makeScene(shape);
}

void BM_BundleAdjust(benchmark::State& state) {
    const int cameras = static_cast<int>(state.range(0));
    const auto scene = benchScene(cameras);
    const std::vector<Camera> start = synthetic::perturbedCameras(scene.truth, 0.03f, 1.04f, 9);
    std::vector<int32_t> list;
    for (int k = 0; k < cameras; ++k) list.push_back(k);
    std::ostringstream sink;
    const BundleAdjuster adjuster{BundleAdjustOptions{}, sink};
    std::vector<Camera> solved;
    for (auto _ : state) {
        solved = start;
        adjuster.BundleAdjust(scene.matches, list, solved, RobustNone, 3.0f, 1);
        benchmark::DoNotOptimize(solved.back().f);
        sink.str("");
    }
    state.counters["matches"] = totalMatches(adjustPairs(scene.matches, list));
}
BENCHMARK(BM_BundleAdjust)->Arg(6)->Arg(12)->Unit(benchmark::kMillisecond);

// One linearisation alone: the per-match derivative work that dominates an outer iteration.
void BM_Linearise(benchmark::State& state) {
    const auto scene = benchScene(6);
    const std::vector<int32_t> list{0, 1, 2, 3, 4, 5};
    const auto pairs = adjustPairs(scene.matches, list);
    for (auto _ : state) {
        auto eq = linearise(pairs, scene.truth, RobustHuber, 1.0f);
        benchmark::DoNotOptimize(eq.a.data.data());
    }
    state.counters["matches"] = totalMatches(pairs);
    state.SetItemsProcessed(state.iterations() * totalMatches(pairs));
}
BENCHMARK(BM_Linearise)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
