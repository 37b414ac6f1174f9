// Cutting a photograph's features to its share keeps the strongest in their order, untouched,
// and gives the memory of the others back to the pool.

#include "features/strongest_features.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vantorra {
namespace {

// A list of features allocated from pool 4 as the detector allocates them (newest first): feature
// k has the contrast contrasts[k], column k and descriptor bytes all equal to k.
Feature* makeList(const std::vector<double>& contrasts) {
    Feature* head = nullptr;
    for (int k = static_cast<int>(contrasts.size()) - 1; k >= 0; --k) {
        auto* feature = static_cast<Feature*>(poolAlloc(sizeof(Feature), kFeaturePool));
        auto* descriptor = static_cast<uint8_t*>(poolAlloc(kDescriptorLength, kFeaturePool));
        *feature = Feature{};
        std::memset(descriptor, k % 256, kDescriptorLength);
        feature->col = k;
        feature->contrast = contrasts[static_cast<size_t>(k)];
        feature->descriptor = descriptor;
        feature->next = head;
        head = feature;
    }
    return head;
}

std::vector<int> columnsOf(const Feature* list) {
    std::vector<int> columns;
    for (const Feature* f = list; f != nullptr; f = f->next) columns.push_back(static_cast<int>(f->col));
    return columns;
}

TEST(StrongestFeatures, KeepsTheLargestContrastsInListOrder) {
    struct Case {
        const char* what;
        std::vector<double> contrasts;
        int limit;
        std::vector<int> kept;  // columns, in list order
    };
    const Case cases[] = {
        {"by absolute contrast", {0.1, -0.9, 0.5, 0.03, 0.7}, 3, {1, 2, 4}},
        {"equal ones: the earlier", {0.2, 0.5, 0.2, 0.2, 0.5}, 3, {0, 1, 4}},
        {"one", {0.3, 0.4, -0.5}, 1, {2}},
        {"a list as long as the limit", {0.3, 0.1}, 2, {0, 1}},
        {"a shorter list", {0.3}, 4, {0}},
        {"no limit", {0.3, 0.1, 0.2}, 0, {0, 1, 2}},
        {"an empty list", {}, 3, {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        poolRelease(kFeaturePool);
        const PoolMark mark = poolMark(kFeaturePool);
        Feature* list = makeList(test.contrasts);
        bool failed = false;
        const Feature* kept = keepStrongest(list, test.limit, mark, failed);
        EXPECT_FALSE(failed);
        EXPECT_EQ(columnsOf(kept), test.kept);
        EXPECT_EQ(featureCount(kept), static_cast<int32_t>(test.kept.size()));
        for (const Feature* f = kept; f != nullptr; f = f->next) {
            const int k = static_cast<int>(f->col);
            EXPECT_EQ(f->contrast, test.contrasts[static_cast<size_t>(k)]);
            for (int b = 0; b < kDescriptorLength; ++b) ASSERT_EQ(f->descriptor[b], k) << "byte " << b;
        }
    }
    poolRelease(kFeaturePool);
}

// Features of earlier photographs (before the mark) stay; the dropped ones' blocks are freed.
TEST(StrongestFeatures, GivesTheDroppedFeaturesMemoryBack) {
    poolRelease(kFeaturePool);
    const Feature* earlier = makeList({0.5, 0.6});
    const PoolMark mark = poolMark(kFeaturePool);
    const int64_t atMark = poolHeapBytes();
    std::vector<double> contrasts;
    for (int k = 0; k < 3000; ++k) contrasts.push_back(0.001 * (k % 997));
    Feature* list = makeList(contrasts);
    const int64_t all = poolHeapBytes() - atMark;
    bool failed = false;
    const Feature* kept = keepStrongest(list, 30, mark, failed);
    ASSERT_FALSE(failed);
    EXPECT_EQ(featureCount(kept), 30);
    EXPECT_LT(poolHeapBytes() - atMark, all / 50);
    EXPECT_EQ(columnsOf(earlier), (std::vector<int>{0, 1}));
    EXPECT_EQ(earlier->contrast, 0.5);
    for (const Feature* f = kept; f != nullptr; f = f->next) EXPECT_GE(f->contrast, 0.001 * 987);  // the ten largest values, three features each
    poolRelease(kFeaturePool);
}

}  // namespace
}  // namespace vantorra
