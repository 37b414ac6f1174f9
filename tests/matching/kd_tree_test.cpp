#include "matching/kd_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "features/arena_pools.h"
#include "synthetic_features.h"

namespace vantorra {
namespace {

// A search with a state of its own, as every search of a run starts.
int neighboursOf(const Feature* query, int k, Feature** result) {
    NeighbourSearch search;
    return findNeighbours(query, k, result, search);
}

using test::Descriptor;
using test::SyntheticFeatures;

struct TreeCensus {
    int leaves = 0;
    int inner = 0;
    bool everyInnerSplitsDimZero = true;
    bool parentsConsistent = true;
    std::vector<const Feature*> leafFeatures;
    std::vector<int> splits;  // in the order visited: -1 for a leaf, else splitDim * 1000 + splitValue
};

TreeCensus census(const KdNode* root) {
    TreeCensus c;
    std::vector<const KdNode*> pending{root};
    while (!pending.empty()) {
        const KdNode* node = pending.back();
        pending.pop_back();
        if (node->leaf) {
            ++c.leaves;
            c.leafFeatures.push_back(node->feature);
            c.splits.push_back(-1);
            continue;
        }
        ++c.inner;
        c.splits.push_back(node->splitDim * 1000 + node->splitValue);
        if (node->splitDim != 0) c.everyInnerSplitsDimZero = false;
        if (node->left->parent != node || node->right->parent != node) c.parentsConsistent = false;
        pending.push_back(node->left);
        pending.push_back(node->right);
    }
    return c;
}

// Brute force: the k nearest features of other images, nearest first.
std::vector<float> bruteForceDistances(SyntheticFeatures& set, const Feature& query, int k) {
    std::vector<float> distances;
    for (const Feature& f : set.features())
        if (f.image != query.image) distances.push_back(descriptorDistance(query.descriptor, f.descriptor));
    std::sort(distances.begin(), distances.end());
    if (static_cast<int>(distances.size()) > k) distances.resize(k);
    return distances;
}

TEST(KdTreeTest, DistanceIsTheScaledIntegerSumOfSquaredByteDifferences) {
    Descriptor a = test::filledDescriptor(0);
    Descriptor b = test::filledDescriptor(0);
    b[0] = 3;
    b[35] = 4;
    EXPECT_FLOAT_EQ(descriptorDistance(a.data(), b.data()), 25.0f / 262144.0f);
    const Descriptor full = test::filledDescriptor(255);
    EXPECT_FLOAT_EQ(descriptorDistance(a.data(), full.data()), 36.0f * 255 * 255 / 262144.0f);
    EXPECT_EQ(descriptorDistance(b.data(), b.data()), 0.0f);
}

TEST(KdTreeTest, IdenticalDescriptorsBuildAChainWithoutExhaustingTheStack) {
    constexpr int kCount = 20000;
    SyntheticFeatures set(2);
    for (int i = 0; i < kCount; ++i) set.add(i % 2, test::filledDescriptor(77));
    ASSERT_TRUE(buildTree(set.joined()));
    // Every split takes byte 0 and peels off one feature.
    EXPECT_EQ(treeDepth(), kCount - 1);
    const TreeCensus c = census(treeRoot());
    EXPECT_EQ(c.leaves, kCount);
    EXPECT_EQ(c.inner, kCount - 1);
    EXPECT_TRUE(c.everyInnerSplitsDimZero);
    EXPECT_TRUE(c.parentsConsistent);

    std::vector<Feature*> result(10);
    for (int q : {0, 1, kCount / 2, kCount - 1}) {
        const Feature& query = set.features()[q];
        const int found = neighboursOf(&query, 10, result.data());
        ASSERT_EQ(found, 10);
        for (int l = 0; l < found; ++l) {
            EXPECT_NE(result[l]->image, query.image);
            EXPECT_EQ(result[l]->distance, 0.0);
        }
    }
    releaseTree();
    EXPECT_EQ(treeRoot(), nullptr);
}

TEST(KdTreeTest, EveryFeatureEndsInExactlyOneLeaf) {
    std::mt19937 rng(7);
    for (int count : {1, 2, 3, 17, 500}) {
        SyntheticFeatures set(3);
        for (int i = 0; i < count; ++i) set.add(i % 3, test::randomDescriptor(rng));
        ASSERT_TRUE(buildTree(set.joined()));
        TreeCensus c = census(treeRoot());
        EXPECT_EQ(c.leaves, count);
        EXPECT_EQ(c.inner, count - 1);
        EXPECT_TRUE(c.parentsConsistent);
        std::sort(c.leafFeatures.begin(), c.leafFeatures.end());
        EXPECT_EQ(std::adjacent_find(c.leafFeatures.begin(), c.leafFeatures.end()), c.leafFeatures.end());
        // A random set gives a balanced tree, nothing like a chain.
        if (count == 500) {
            EXPECT_LT(treeDepth(), 40);
        }
    }
    releaseTree();
}

TEST(KdTreeTest, NoByteIsSplitTwiceOnOnePath) {
    // Only byte 5 varies: the root splits it, and below it the spread of byte 5 no longer counts,
    // so the children fall back to byte 0.
    SyntheticFeatures set(1);
    for (uint8_t v : {0, 10, 20, 30}) {
        Descriptor d = test::filledDescriptor(50);
        d[5] = v;
        set.add(0, d);
    }
    ASSERT_TRUE(buildTree(set.joined()));
    const KdNode* root = treeRoot();
    ASSERT_FALSE(root->leaf);
    EXPECT_EQ(root->splitDim, 5);
    EXPECT_EQ(root->splitValue, 15);
    for (const KdNode* child : {root->left, root->right}) {
        ASSERT_FALSE(child->leaf);
        EXPECT_EQ(child->splitDim, 0);
        EXPECT_EQ(child->splitValue, 50);
    }
    EXPECT_LE(root->left->left->feature->descriptor[5], 15);
    EXPECT_GT(root->right->left->feature->descriptor[5], 15);
    releaseTree();
}

TEST(KdTreeTest, EmptyListGivesNoTreeAndNoNeighbours) {
    ASSERT_TRUE(buildTree(nullptr));
    EXPECT_EQ(treeRoot(), nullptr);
    EXPECT_EQ(treeDepth(), -1);
    const Descriptor d = test::filledDescriptor(1);
    Feature query{};
    query.descriptor = const_cast<uint8_t*>(d.data());
    Feature* result[4];
    EXPECT_EQ(neighboursOf(&query, 4, result), 0);
}

TEST(KdTreeTest, SmallSetsAreSearchedExactlyAndOnlyInOtherImages) {
    // Fewer than 25 features of other images: the search never stops early and visits them all.
    std::mt19937 rng(11);
    SyntheticFeatures set(3);
    for (int i = 0; i < 24; ++i) set.add(i % 3, test::randomDescriptor(rng));
    ASSERT_TRUE(buildTree(set.joined()));
    for (int k : {1, 5, 16, 20}) {
        for (const Feature& query : set.features()) {
            std::vector<Feature*> result(k);
            const int found = neighboursOf(&query, k, result.data());
            const std::vector<float> expected = bruteForceDistances(set, query, k);
            ASSERT_EQ(found, static_cast<int>(expected.size()));
            for (int l = 0; l < found; ++l) {
                EXPECT_NE(result[l]->image, query.image);
                EXPECT_EQ(static_cast<float>(result[l]->distance), expected[l]);
                EXPECT_EQ(static_cast<float>(result[l]->distance),
                          descriptorDistance(query.descriptor, result[l]->descriptor));
            }
        }
    }
    releaseTree();
}

TEST(KdTreeTest, LargeSetsFindNearCopiesInTheOtherImage) {
    // Image 1 holds slightly disturbed copies of image 0's descriptors: the nearest neighbour of
    // each is almost always its copy, and never a feature of its own image.
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> noise(-2, 2);
    SyntheticFeatures set(2);
    std::vector<Descriptor> originals;
    for (int i = 0; i < 2000; ++i) originals.push_back(test::randomDescriptor(rng));
    for (const Descriptor& d : originals) set.add(0, d);
    for (const Descriptor& d : originals) {
        Descriptor copy = d;
        for (auto& b : copy) b = static_cast<uint8_t>(std::clamp(b + noise(rng), 0, 255));
        set.add(1, copy);
    }
    ASSERT_TRUE(buildTree(set.joined()));
    int copiesFound = 0;
    std::vector<Feature*> result(9);
    for (int i = 0; i < 2000; ++i) {
        const Feature& query = set.features()[i];
        const int found = neighboursOf(&query, 9, result.data());
        ASSERT_EQ(found, 9);
        for (int l = 0; l < found; ++l) EXPECT_EQ(result[l]->image, 1);
        for (int l = 1; l < found; ++l) EXPECT_LE(result[l - 1]->distance, result[l]->distance);
        if (result[0] == &set.features()[2000 + i]) ++copiesFound;
    }
    EXPECT_GT(copiesFound, 1900);
    releaseTree();
}

TEST(KdTreeTest, APoolBuildsTheTreeOneThreadBuilds) {
    // Enough features for the halves below the root to go to two threads, with runs of identical
    // descriptors that become chains inside them.
    std::mt19937 rng(11);
    SyntheticFeatures set(3);
    for (int i = 0; i < 12000; ++i)
        set.add(i % 3, i % 10 == 0 ? test::filledDescriptor(static_cast<uint8_t>(40 + i % 3)) : test::randomDescriptor(rng));
    ASSERT_TRUE(buildTree(set.joined()));
    const TreeCensus alone = census(treeRoot());
    ThreadPool pool(3);
    ASSERT_TRUE(buildTree(set.joined(), &pool));
    const TreeCensus shared = census(treeRoot());
    EXPECT_TRUE(shared.parentsConsistent);
    EXPECT_EQ(shared.leaves, 12000);
    EXPECT_EQ(shared.inner, 12000 - 1);
    EXPECT_EQ(shared.splits, alone.splits);
    EXPECT_EQ(shared.leafFeatures, alone.leafFeatures);
    releaseTree();
}

TEST(KdTreeTest, ArenaExhaustionLeavesNoTree) {
    std::mt19937 rng(5);
    SyntheticFeatures set(2);
    for (int i = 0; i < 5000; ++i) set.add(i % 2, test::randomDescriptor(rng));
    releaseTree();
    poolSetHeapLimit(poolHeapBytes() + 4096);
    const bool built = buildTree(set.joined());
    poolSetHeapLimit(-1);
    EXPECT_FALSE(built);
    EXPECT_EQ(treeRoot(), nullptr);
}

}  // namespace
}  // namespace vantorra
