// The feature stage on a pool: photographs decoded and searched for features on other threads
// must not change what is found, what is left out, or in which order.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/thread_pool.h"
#include "features/arena_pools.h"
#include "matching/load_and_match.h"
#include "support/pipeline_support.h"

namespace vantorra {
namespace {

struct StageRun {
    bool ok = false;
    int64_t totalFeatures = 0;
    std::vector<ImageSize> sizes;
    std::vector<std::string> skipped;
    std::vector<int32_t> counts;
    std::string log;
    std::string error;
};

StageRun runStage(const std::string& directory, const std::vector<std::string>& names, ThreadPool* pool) {
    StageRun run;
    std::vector<Photograph> photographs;
    int64_t memory = 0;
    const FeatureStageOutputs outputs{photographs, memory, true};
    const int n = static_cast<int>(names.size());
    MatchTable matches(n);
    ProgressReporter progress;
    std::string error;
    test::LogCapture log;
    run.ok = loadAndMatch(directory, names, FeatureOptions{}, FeatureBudget{}, progress, log, outputs, matches,
                          run.totalFeatures, &error, pool);
    run.log = log.text();
    for (const Photograph& photograph : photographs) {
        run.sizes.push_back(photograph.size);
        run.skipped.push_back(photograph.leftOut);
    }
    run.error = error;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) run.counts.push_back(matches.count(i, j));
    return run;
}

TEST(LoadAndMatch, DetectingOnAPoolFindsWhatOneThreadFinds) {
    // Six photographs, one unreadable and one a copy, so that windows of four end in the middle of
    // the list and the left-out ones fall inside windows.
    const std::string row6 = test::testData("matching/row6");
    const std::vector<std::string> views = test::jpegNames(row6);
    ASSERT_GE(views.size(), 4u);
    test::TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    std::vector<std::string> names;
    auto copy = [&](const std::string& from, const std::string& as) {
        std::filesystem::copy_file(row6 + "/" + from, dir.file(as));
        names.push_back(as);
    };
    copy(views[0], "a.jpg");
    copy(views[1], "b.jpg");
    std::ofstream(dir.file("c.jpg")) << "not a photograph";
    names.push_back("c.jpg");
    copy(views[2], "d.jpg");
    copy(views[1], "e.jpg");
    copy(views[3], "f.jpg");

    const StageRun alone = runStage(dir.path + "/", names, nullptr);
    ASSERT_TRUE(alone.ok);
    ASSERT_GT(alone.totalFeatures, 0);
    EXPECT_FALSE(alone.skipped[2].empty());
    EXPECT_NE(alone.skipped[4].find("the same view as"), std::string::npos) << alone.skipped[4];
    for (const int threads : {2, 3, 4}) {
        ThreadPool pool(threads);
        const StageRun shared = runStage(dir.path + "/", names, &pool);
        ASSERT_TRUE(shared.ok) << threads;
        EXPECT_EQ(shared.totalFeatures, alone.totalFeatures) << threads;
        EXPECT_EQ(shared.skipped, alone.skipped) << threads;
        EXPECT_EQ(shared.counts, alone.counts) << threads;
        EXPECT_EQ(shared.log, alone.log) << threads;
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(shared.sizes[i].width, alone.sizes[i].width) << i;
    }
}

// The feature library running out of memory ends the stage on a pool as it does alone, whichever
// photograph meets the limit first: no later window starts, and the pools are given back.
TEST(LoadAndMatch, ExhaustedFeatureMemoryEndsTheStageOnAPool) {
    const std::string row6 = test::testData("matching/row6");
    const std::vector<std::string> views = test::jpegNames(row6);
    ASSERT_GE(views.size(), 4u);
    std::vector<std::string> names;
    for (int round = 0; round < 3; ++round)
        for (const std::string& view : views) names.push_back(view);
    for (const int threads : {1, 2, 3}) {
        ThreadPool pool(threads);
        const int64_t before = poolHeapBytes();
        poolSetHeapLimit(before + 4096);
        const StageRun run = runStage(row6 + "/", names, &pool);
        poolSetHeapLimit(-1);
        EXPECT_FALSE(run.ok) << threads;
        EXPECT_NE(run.error.find("SIFT - Failed to allocate memory"), std::string::npos) << run.error;
        EXPECT_EQ(run.log.find("Build k-d tree"), std::string::npos) << threads;
        EXPECT_LE(poolHeapBytes(), before) << threads;
    }
}

}  // namespace
}  // namespace vantorra
