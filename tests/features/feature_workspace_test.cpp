// Feature workspaces: features looked for in a workspace of their own, on any thread, are the
// ones the program's shared state gives, and a workspace gives its memory back when it goes.

#include "features/feature_workspace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "features/arena_pools.h"
#include "features/feature_image.h"

namespace vantorra {
namespace {

const std::string kView = std::string(VANTORRA_TEST_DATA) + "/features/view_600x400.jpg";

struct Found {
    double row, col, scale, orientation;
    std::vector<uint8_t> descriptor;
    bool operator==(const Found&) const = default;
};

std::vector<Found> listOf(const Feature* features) {
    std::vector<Found> out;
    for (const Feature* f = features; f != nullptr; f = f->next)
        out.push_back({f->row, f->col, f->scale, f->orientation,
                       std::vector<uint8_t>(f->descriptor, f->descriptor + kDescriptorLength)});
    return out;
}

std::vector<Found> detectIn(FeatureWorkspace* workspace) {
    std::vector<Found> found;
    auto detect = [&] {
        const DetectedFeatureImage d = detectFeatures(decodeFeatureImage(kView, FeatureOptions{}), FeatureOptions{}, FeatureBudget{});
        EXPECT_FALSE(d.failed);
        found = listOf(d.features);
    };
    if (workspace == nullptr) {
        detect();
        poolRelease(kFeaturePool);
    } else {
        const FeatureWorkspace::Binding bound(*workspace);
        detect();
    }
    return found;
}

TEST(FeatureWorkspace, ThreadsInWorkspacesFindWhatTheSharedStateFinds) {
    const std::vector<Found> shared = detectIn(nullptr);
    ASSERT_GT(shared.size(), 100u);
    std::vector<FeatureWorkspace> workspaces(3);
    std::vector<std::vector<Found>> found(3);
    std::vector<std::thread> threads;
    for (size_t k = 0; k < 3; ++k) threads.emplace_back([&, k] { found[k] = detectIn(&workspaces[k]); });
    for (std::thread& t : threads) t.join();
    for (size_t k = 0; k < 3; ++k) EXPECT_TRUE(found[k] == shared) << k;
}

TEST(FeatureWorkspace, FeaturesLiveInTheWorkspaceUntilItGoes) {
    const int64_t before = poolHeapBytes();
    {
        FeatureWorkspace workspace;
        ASSERT_FALSE(detectIn(&workspace).empty());
        // The features, and the blur buffers of its pool 0, are still held by the workspace;
        // the scratch images were given back after the image.
        EXPECT_GT(poolHeapBytes(), before);
        EXPECT_LT(poolHeapBytes() - before, int64_t{4} << 20);
        workspace.release();
        EXPECT_EQ(poolHeapBytes(), before);
        ASSERT_FALSE(detectIn(&workspace).empty());  // usable again after a release
    }
    EXPECT_EQ(poolHeapBytes(), before);
}

TEST(FeatureWorkspace, AnExhaustedHeapIsLoggedWithItsImageNotWhereItHappened) {
    FeatureWorkspace workspace;
    DetectedFeatureImage detected;
    std::ostringstream poolLog;
    {
        const FeatureWorkspace::Binding bound(workspace);
        poolSetFailureLog(&poolLog);  // where the pools would log a failure if asked
        poolSetHeapLimit(poolHeapBytes() + 100000);
        detected = detectFeatures(decodeFeatureImage(kView, FeatureOptions{}), FeatureOptions{}, FeatureBudget{});
        poolSetHeapLimit(-1);
    }
    EXPECT_EQ(poolLog.str(), "");
    EXPECT_TRUE(detected.failed);
    Photograph photograph;
    int64_t memory = 0;
    Feature* features = nullptr;
    std::string error;
    std::ostringstream log;
    EXPECT_FALSE(takeDetectedImage(std::move(detected), FeatureBudget{}, 4, log, photograph, memory, features, &error));
    EXPECT_EQ(log.str(), "SIFT - Failed to allocate memory\n");
    EXPECT_EQ(error, "SIFT - Failed to allocate memory");
    EXPECT_EQ(features, nullptr);
}

}  // namespace
}  // namespace vantorra
