#include "matching/neighbour_matching.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "matching/kd_tree.h"
#include "synthetic_features.h"

namespace vantorra {
namespace {

using test::Descriptor;
using test::SyntheticFeatures;

std::string matchQuietly(SyntheticFeatures& set, const FeatureOptions& options, MatchTable& matches,
                         bool* ok = nullptr, ThreadPool* pool = nullptr, uint32_t* overflowCounter = nullptr) {
    ProgressReporter progress;
    std::ostringstream log;
    const bool result = matchFeatureLists(set.lists(), options, matches, progress, log, pool, overflowCounter);
    if (ok != nullptr) *ok = result;
    return log.str();
}

TEST(NeighbourMatchingTest, NeighbourCountCoversTheMatchesPlusTheRatioReference) {
    struct Case {
        int nearest, maxMatches, k;
    };
    for (const Case& c : {Case{9, 5, 9}, Case{9, 9, 10}, Case{3, 5, 6}, Case{9, 1, 9}}) {
        FeatureOptions options;
        options.nearestNeighbours = c.nearest;
        options.maxMatchesPerFeature = c.maxMatches;
        EXPECT_EQ(neighbourCount(options), c.k) << c.nearest << " " << c.maxMatches;
    }
}

TEST(NeighbourMatchingTest, RatioTestKeepsLeadingNeighboursWellBelowTheReference) {
    struct Case {
        const char* name;
        std::vector<double> distances;
        int maxMatches;
        int expected;
    };
    const Case cases[] = {
        {"all well below the last", {1, 1, 1, 1, 1, 10}, 5, 5},
        {"limited by maxMatchesPerFeature", {1, 1, 1, 1, 1, 10}, 2, 2},
        {"first fails", {9, 9.5, 10}, 5, 0},
        {"stops at the first failure", {1, 8, 2, 10}, 5, 1},
        {"exactly 0.8 of the reference fails", {0.5, 0.8, 1}, 5, 1},
        {"fewer than k found: farthest is the reference", {1, 5}, 5, 1},
        {"a single neighbour never passes", {1}, 5, 0},
        {"none found", {}, 5, 0},
    };
    for (const Case& c : cases) {
        std::vector<Feature> storage(c.distances.size());
        std::vector<Feature*> neighbours;
        for (size_t l = 0; l < c.distances.size(); ++l) {
            storage[l].distance = c.distances[l];
            neighbours.push_back(&storage[l]);
        }
        FeatureOptions options;
        options.maxMatchesPerFeature = c.maxMatches;
        EXPECT_EQ(ratioTest(neighbours.data(), static_cast<int32_t>(neighbours.size()), options),
                  c.expected)
            << c.name;
    }
}

TEST(NeighbourMatchingTest, NoFeaturesLeavesEveryCountZero) {
    SyntheticFeatures set(3);
    MatchTable matches(3);
    bool ok = false;
    const std::string log = matchQuietly(set, FeatureOptions{}, matches, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(log, "No features found!\n");
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(matches.count(i, j), 0);
}

Descriptor descriptorIn(std::mt19937& rng, int lo, int hi) {
    std::uniform_int_distribution<int> byte(lo, hi);
    Descriptor d;
    for (auto& b : d) b = static_cast<uint8_t>(byte(rng));
    return d;
}

TEST(NeighbourMatchingTest, PlantedCopiesBecomeMatchesInListOrder) {
    // Image 1 holds exact copies of image 0's features at shifted positions; image 2 lives in a
    // distant part of descriptor space. With one match per feature, each accepted match of
    // image 0 is its copy, and the columns follow image 0's list.
    std::mt19937 rng(17);
    SyntheticFeatures set(3);
    std::map<std::pair<float, float>, std::pair<float, float>> partnerOf;
    std::vector<Descriptor> descriptors;
    for (int k = 0; k < 300; ++k) descriptors.push_back(descriptorIn(rng, 0, 100));
    for (int k = 0; k < 300; ++k) set.add(0, descriptors[k], k, 2 * k);
    for (int k = 0; k < 300; ++k) {
        set.add(1, descriptors[k], k + 0.5, 2 * k + 7);
        partnerOf[{static_cast<float>(k), static_cast<float>(2 * k)}] = {k + 0.5f, 2 * k + 7.0f};
    }
    for (int k = 0; k < 300; ++k) set.add(2, descriptorIn(rng, 150, 255), 1, 1);
    FeatureOptions options;
    options.maxMatchesPerFeature = 1;
    MatchTable matches(3);
    const std::string log = matchQuietly(set, options, matches);

    EXPECT_EQ(log,
              "[ Build k-d tree           ]\n[ Find nearest neighbours  ]\n"
              "  Image 0\n  Image 1\n  Image 2\n"
              "[ Build match array        ]\n[ Allocate Space for match array ]\n"
              "  Image 0\n  Image 1\n  Image 2\n");
    // The search is approximate; it still finds nearly every exact copy.
    EXPECT_GT(matches.count(0, 1), 270);
    EXPECT_GT(matches.count(1, 0), 270);
    EXPECT_EQ(matches.count(0, 2), 0);
    EXPECT_EQ(matches.count(1, 2), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(matches.count(i, i), 0);
    const MatchPoints& points = matches.points(0, 1);
    ASSERT_EQ(points.first.cols, matches.count(0, 1));
    ASSERT_EQ(points.second.cols, matches.count(0, 1));
    for (int c = 0; c < points.first.cols; ++c) {
        const std::pair<float, float> from{points.first.at(0, c), points.first.at(1, c)};
        ASSERT_EQ(partnerOf.count(from), 1u);
        EXPECT_EQ(partnerOf[from], std::make_pair(points.second.at(0, c), points.second.at(1, c)));
        if (c > 0) {
            EXPECT_LT(points.first.at(0, c - 1), points.first.at(0, c));  // list order
        }
    }
}

TEST(NeighbourMatchingTest, SeveralNeighboursInOneImageEachCount) {
    // One feature of image 0 has two exact copies in image 1; everything else is far away, so
    // both copies pass the ratio test and the pair gets two matches from that one feature.
    const auto makeSet = [] {
        auto set = std::make_unique<SyntheticFeatures>(2);
        const Descriptor planted = test::filledDescriptor(100);
        set->add(0, planted, 3, 4);
        set->add(1, planted, 10, 11);
        set->add(1, planted, 20, 21);
        for (int k = 0; k < 40; ++k) {
            Descriptor far = test::filledDescriptor(0);
            far[k % 36] = static_cast<uint8_t>(k);
            set->add(1, far, 0, 0);
        }
        return set;
    };
    FeatureOptions options;
    options.maxMatchesPerFeature = 1;
    MatchTable one(2);
    matchQuietly(*makeSet(), options, one);
    EXPECT_EQ(one.count(0, 1), 1);

    options.maxMatchesPerFeature = 5;
    MatchTable several(2);
    matchQuietly(*makeSet(), options, several);
    ASSERT_EQ(several.count(0, 1), 2);
    EXPECT_EQ(several.count(1, 0), 0);  // image 0 has a single feature: no ratio reference
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(several.points(0, 1).first.at(0, c), 3.0f);
        EXPECT_EQ(several.points(0, 1).first.at(1, c), 4.0f);
    }
    const float rowA = several.points(0, 1).second.at(0, 0);
    const float rowB = several.points(0, 1).second.at(0, 1);
    EXPECT_EQ(rowA + rowB, 30.0f);  // both copies, once each
}

TEST(NeighbourMatchingTest, IdenticalFeaturesEverywhereFinishAndMatchNothing) {
    SyntheticFeatures set(2);
    for (int k = 0; k < 20000; ++k) set.add(k % 2, test::filledDescriptor(9));
    MatchTable matches(2);
    bool ok = false;
    matchQuietly(set, FeatureOptions{}, matches, &ok);
    EXPECT_TRUE(ok);
    // Every distance is 0, and 0 is not below 0.8 of 0.
    EXPECT_EQ(matches.count(0, 1), 0);
    EXPECT_EQ(matches.count(1, 0), 0);
}

TEST(NeighbourMatchingTest, ImagesWithoutFeaturesWriteNoImageLine) {
    std::mt19937 rng(6);
    SyntheticFeatures set(3);
    for (int k = 0; k < 5; ++k) set.add(0, test::randomDescriptor(rng));
    for (int k = 0; k < 5; ++k) set.add(2, test::randomDescriptor(rng));
    MatchTable matches(3);
    const std::string log = matchQuietly(set, FeatureOptions{}, matches);
    EXPECT_EQ(log.find("  Image 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  Image 2\n"), std::string::npos) << log;
}

// Three images of random descriptors, some of them near copies across images, and a run of
// identical descriptors in images 1 and 2 that near copies in image 0 descend into: a chain of
// identical features is one tree level each, so those searches overflow their heaps.
std::unique_ptr<SyntheticFeatures> crowdedSet(uint32_t seed) {
    std::mt19937 rng(seed);
    auto set = std::make_unique<SyntheticFeatures>(3);
    std::vector<Descriptor> shared;
    for (int k = 0; k < 600; ++k) shared.push_back(descriptorIn(rng, 0, 200));
    for (int image = 0; image < 3; ++image)
        for (int k = 0; k < 1500; ++k) {
            Descriptor d = k < 600 ? shared[static_cast<size_t>(k)] : descriptorIn(rng, 0, 200);
            d[static_cast<size_t>(k % 36)] = static_cast<uint8_t>(d[static_cast<size_t>(k % 36)] ^ image);
            set->add(image, d, k, image * 1000 + k);
        }
    const Descriptor repeated = test::filledDescriptor(230);
    for (int k = 0; k < 1400; ++k) set->add(1 + k % 2, repeated, 2000 + k, k);
    for (int k = 0; k < 40; ++k) {
        Descriptor near = repeated;
        near[static_cast<size_t>(k % 36)] = static_cast<uint8_t>(228 + k % 5);
        set->add(0, near, 3000 + k, k);
    }
    return set;
}

void expectSameTables(const MatchTable& a, const MatchTable& b) {
    ASSERT_EQ(a.size(), b.size());
    for (int i = 0; i < a.size(); ++i)
        for (int j = 0; j < a.size(); ++j) {
            ASSERT_EQ(a.count(i, j), b.count(i, j)) << i << " " << j;
            EXPECT_EQ(a.points(i, j).first.data, b.points(i, j).first.data) << i << " " << j;
            EXPECT_EQ(a.points(i, j).second.data, b.points(i, j).second.data) << i << " " << j;
        }
}

TEST(NeighbourMatchingTest, ThreadsFindWhatOneThreadFindsAndCarryTheOverflowCounterOn) {
    // The overflow counter picks which heap positions an overflowing search overwrites, so a
    // search that overflows depends on every search before it: threads must still give the
    // table and the counter that one thread in order gives. Every run starts its counter afresh,
    // so a second run in the same program gives the first one's table.
    uint32_t serialCounter = 0;
    MatchTable serial(3);
    const std::string serialLog = matchQuietly(*crowdedSet(5), FeatureOptions{}, serial, nullptr, nullptr, &serialCounter);
    ASSERT_GT(serialCounter, 0u) << "no search overflowed: the case tests nothing";
    for (const int threads : {1, 2, 4}) {
        ThreadPool pool(threads);
        uint32_t counter = 0;
        MatchTable parallel(3);
        const std::string parallelLog =
            matchQuietly(*crowdedSet(5), FeatureOptions{}, parallel, nullptr, &pool, &counter);
        EXPECT_EQ(counter, serialCounter) << threads;
        EXPECT_EQ(parallelLog, serialLog);
        expectSameTables(serial, parallel);
    }
}

TEST(NeighbourMatchingTest, RatioTestOnDistancesAgreesWithTheNeighboursOwn) {
    const std::vector<float> distances{1, 2, 2.5, 9, 10};
    std::vector<Feature> storage(distances.size());
    std::vector<Feature*> neighbours;
    for (size_t l = 0; l < distances.size(); ++l) {
        storage[l].distance = distances[l];
        neighbours.push_back(&storage[l]);
    }
    for (int found = 0; found <= 5; ++found)
        EXPECT_EQ(ratioTest(distances.data(), found, FeatureOptions{}),
                  ratioTest(neighbours.data(), found, FeatureOptions{}))
            << found;
}

}  // namespace
}  // namespace vantorra
