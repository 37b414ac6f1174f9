// The whole matching stage on the six 1200x800 views of row6, and each of its steps on its own:
// decoding, per-image preparation (decode, reduce, thumbnail, grey, features), the k-d tree, the
// neighbour search with ratio test and match lists, and RANSAC verification with the graph.
// Reads the shared data sets; skips when they are not present. Log lines are discarded.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/null_stream.h"
#include "core/image.h"
#include "features/arena_pools.h"
#include "features/feature_image.h"
#include "matching/feature_matcher.h"
#include "matching/kd_tree.h"
#include "matching/match_graph.h"
#include "matching/neighbour_matching.h"
#include "matching/ransac.h"
#include "io/photo_image.h"

namespace vantorra {
namespace {

const std::string kSet = std::string(VANTORRA_SHARED_DATA) + "/row6/";

std::vector<std::string> viewNames() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kSet, error))
        if (entry.path().extension() == ".jpg") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The stages' log, discarded.
using QuietLog = NullStream;

FeatureOptions stageOptions(int n) {
    FeatureOptions options;
    options.maxMatchesPerFeature = std::min(options.maxMatchesPerFeature, n - 1);
    return options;
}

FeatureBudget stageBudget() {
    FeatureBudget budget;
    budget.featureImageBytes = 67108864;
    return budget;
}

// Every view prepared as the stage does it; the features stay in pool 4 until releaseAll().
struct PreparedViews {
    std::vector<Feature*> lists;
    std::vector<Photograph> photographs;  // feature images and thumbnails kept, as the stage keeps them
    int64_t features = 0;
};

bool prepareViews(const std::vector<std::string>& names, PreparedViews& views) {
    const int n = static_cast<int>(names.size());
    const FeatureOptions options = stageOptions(n);
    ProgressReporter progress;
    NullStream quiet;
    views.lists.assign(n, nullptr);
    views.photographs.assign(n, Photograph{});
    views.features = 0;
    int64_t memory = 0;
    for (int i = 0; i < n; ++i) {
        if (!prepareImage(kSet + names[i], options, stageBudget(), n, quiet, views.photographs[i], memory,
                          views.lists[i]))
            return false;
        for (const Feature* f = views.lists[i]; f != nullptr; f = f->next) ++views.features;
    }
    return true;
}

void releaseAll() {
    poolRelease(kScratchPool);
    poolRelease(kTreePool);
    poolRelease(kFeaturePool);
}

// Time per image is the reported time divided by this count.
void perImage(benchmark::State& state, int n) { state.counters["images"] = n; }

void matchingStage(benchmark::State& state) {
    const std::vector<std::string> names = viewNames();
    if (names.empty()) return state.SkipWithError("shared data not present");
    QuietLog quiet;
    StitchOptions options;
    options.feature = stageOptions(static_cast<int>(names.size()));
    size_t components = 0;
    for (auto _ : state) {
        const FeatureMatcher matcher(options.feature, options.ransac, stageBudget());
        ProgressReporter progress;
        const MatchingResult result = matcher.matchingStage(kSet, names, progress, quiet);
        if (!result.ok) return state.SkipWithError("stage failed");
        components = result.components.size();
    }
    state.counters["components"] = static_cast<double>(components);
    perImage(state, static_cast<int>(names.size()));
}

void decode(benchmark::State& state) {
    const std::vector<std::string> names = viewNames();
    if (names.empty()) return state.SkipWithError("shared data not present");
    for (auto _ : state)
        for (const std::string& name : names) {
            FloatImage image;
            if (!readPhoto(kSet + name, image)) return state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(image.data.data());
        }
    perImage(state, static_cast<int>(names.size()));
}

void prepare(benchmark::State& state) {
    const std::vector<std::string> names = viewNames();
    if (names.empty()) return state.SkipWithError("shared data not present");
    QuietLog quiet;
    PreparedViews views;
    for (auto _ : state) {
        if (!prepareViews(names, views)) return state.SkipWithError("preparation failed");
        state.PauseTiming();
        releaseAll();
        state.ResumeTiming();
    }
    state.counters["features"] = static_cast<double>(views.features);
    perImage(state, static_cast<int>(names.size()));
}

// Joins the lists like the stage does, so the tree and the search see one global list.
Feature* joinViews(PreparedViews& views) {
    Feature* head = nullptr;
    Feature* tail = nullptr;
    for (size_t i = 0; i < views.lists.size(); ++i)
        for (Feature* f = views.lists[i]; f != nullptr;) {
            Feature* next = f->next;
            f->image = static_cast<int32_t>(i);
            f->next = nullptr;
            (tail != nullptr ? tail->next : head) = f;
            tail = f;
            f = next;
        }
    return head;
}

void buildTreeStep(benchmark::State& state) {
    const std::vector<std::string> names = viewNames();
    if (names.empty()) return state.SkipWithError("shared data not present");
    QuietLog quiet;
    PreparedViews views;
    if (!prepareViews(names, views)) return state.SkipWithError("preparation failed");
    Feature* all = joinViews(views);
    for (auto _ : state)
        if (!buildTree(all)) return state.SkipWithError("out of memory");
    state.counters["depth"] = treeDepth();
    releaseAll();
    perImage(state, static_cast<int>(names.size()));
}

void searchStep(benchmark::State& state) {
    const std::vector<std::string> names = viewNames();
    if (names.empty()) return state.SkipWithError("shared data not present");
    QuietLog quiet;
    PreparedViews views;
    if (!prepareViews(names, views)) return state.SkipWithError("preparation failed");
    Feature* all = joinViews(views);
    if (!buildTree(all)) return state.SkipWithError("out of memory");
    const FeatureOptions options = stageOptions(static_cast<int>(names.size()));
    const int k = neighbourCount(options);
    std::vector<Feature*> neighbours(static_cast<size_t>(k));
    int64_t accepted = 0;
    NeighbourSearch search;
    for (auto _ : state) {
        accepted = 0;
        for (Feature* f = all; f != nullptr; f = f->next)
            accepted += ratioTest(neighbours.data(), findNeighbours(f, k, neighbours.data(), search), options);
    }
    state.counters["matches"] = static_cast<double>(accepted);
    releaseAll();
    perImage(state, static_cast<int>(names.size()));
}

void verifyStep(benchmark::State& state) {
    const std::vector<std::string> names = viewNames();
    if (names.empty()) return state.SkipWithError("shared data not present");
    QuietLog quiet;
    const int n = static_cast<int>(names.size());
    PreparedViews views;
    if (!prepareViews(names, views)) return state.SkipWithError("preparation failed");
    MatchTable raw(n);
    ProgressReporter progress;
    if (!matchFeatureLists(views.lists, stageOptions(n), raw, progress, quiet))
        return state.SkipWithError("out of memory");
    releaseAll();
    const std::vector<ImageSize> reduced = featureImageSizes(views.photographs);
    for (auto _ : state) {
        state.PauseTiming();
        MatchTable matches = raw;
        RandomStream random;
        state.ResumeTiming();
        verifyPairs(matches, reduced, RansacOptions{}, random, progress, quiet);
        benchmark::DoNotOptimize(findComponents(matches, quiet));
    }
    perImage(state, n);
}

BENCHMARK(matchingStage)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(decode)->Unit(benchmark::kMillisecond);
BENCHMARK(prepare)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(buildTreeStep)->Unit(benchmark::kMillisecond);
BENCHMARK(searchStep)->Unit(benchmark::kMillisecond);
BENCHMARK(verifyStep)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantorra

BENCHMARK_MAIN();
