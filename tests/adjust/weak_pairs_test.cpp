// The last-link rule of re-selection: a failed pair is kept only while it is the one way left to
// hold an image, and only when more than alpha of its matches agree with the cameras; otherwise
// the images beyond it are left out with a reason. Chains and grids, with one weak pair.

#include "adjust/weak_pairs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace vantorra {
namespace {

// Errors of `genuine` matches spread like a Gaussian of `sigma` pixels, and `off` matches far out.
std::vector<float> errorsOf(int genuine, int off, float sigma, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, sigma);
    std::vector<float> e;
    for (int k = 0; k < genuine; ++k) e.push_back(std::hypot(noise(rng), noise(rng)));
    for (int k = 0; k < off; ++k) e.push_back(4.0f + 0.1f * static_cast<float>(k % 7));
    return e;
}

struct Link {
    int a, b;
    bool accepted;
    int genuine, off;
    bool restored = false;  // measured on its verified matches
};

struct Case {
    const char* name;
    int images;
    std::vector<Link> links;
    std::vector<int32_t> held;
    std::vector<uint8_t> weak;  // per link: kept as a last link
};

WeakPairs decide(const Case& c, std::vector<std::vector<float>>& errors) {
    std::vector<MeasuredPair> pairs;
    errors.clear();
    errors.reserve(c.links.size());
    for (size_t k = 0; k < c.links.size(); ++k)
        errors.push_back(errorsOf(c.links[k].genuine, c.links[k].off, 0.2f, static_cast<uint32_t>(k + 1)));
    for (size_t k = 0; k < c.links.size(); ++k)
        pairs.push_back({c.links[k].a, c.links[k].b, c.links[k].accepted, &errors[k], 0.6f, c.links[k].restored});
    std::vector<int32_t> component;
    for (int i = 0; i < c.images; ++i) component.push_back(i);
    return holdWithWeakPairs(pairs, component, RansacOptions{});
}

TEST(WeakPairsTest, AFailedPairHoldsTheImagesBeyondItOnlyWhileItIsTheirLastLink) {
    // alpha is 10: a weak pair must keep more than 10 matches that agree with the cameras.
    const Case cases[] = {
        {"a chain of eight whose middle pair failed with 14 agreeing matches",
         8,
         {{0, 1, true, 80, 0}, {1, 2, true, 80, 0}, {2, 3, true, 80, 0}, {3, 4, false, 14, 20},
          {4, 5, true, 80, 0}, {5, 6, true, 80, 0}, {6, 7, true, 80, 0}},
         {0, 1, 2, 3, 4, 5, 6, 7},
         {0, 0, 0, 1, 0, 0, 0}},
        {"the same chain when only 9 of the middle pair's matches agree",
         8,
         {{0, 1, true, 80, 0}, {1, 2, true, 80, 0}, {2, 3, true, 80, 0}, {3, 4, false, 9, 30},
          {4, 5, true, 80, 0}, {5, 6, true, 80, 0}, {6, 7, true, 80, 0}},
         {0, 1, 2, 3},
         {0, 0, 0, 0, 0, 0, 0}},
        {"a chain whose every pair failed is held link by link",
         4,
         {{0, 1, false, 30, 5}, {1, 2, false, 20, 5}, {2, 3, false, 12, 5}},
         {0, 1, 2, 3},
         {1, 1, 1}},
        // 0 1 2 / 3 4 5: column 2 and 5 hang on failed pairs only; one of them is enough, the
        // stronger, and the other stays dropped.
        {"a grid of two rows whose last column hangs on two failed pairs",
         6,
         {{0, 1, true, 90, 0}, {3, 4, true, 90, 0}, {0, 3, true, 90, 0}, {1, 4, true, 90, 0},
          {2, 5, true, 90, 0}, {1, 2, false, 15, 30}, {4, 5, false, 25, 30}},
         {0, 1, 2, 3, 4, 5},
         {0, 0, 0, 0, 0, 0, 1}},
        {"a failed pair inside a held grid is not kept",
         4,
         {{0, 1, true, 90, 0}, {1, 2, true, 90, 0}, {2, 3, true, 90, 0}, {0, 3, false, 40, 10}},
         {0, 1, 2, 3},
         {0, 0, 0, 0}},
        // Two links could hold image 2: the one that holds it now keeps it, though the other,
        // restored from its verified matches, has more; without that the two take turns.
        {"the link that held an image keeps it over a restored one",
         3,
         {{0, 1, true, 90, 0}, {1, 2, false, 14, 10}, {0, 2, false, 30, 0, true}},
         {0, 1, 2},
         {0, 1, 0}},
        {"a restored link holds an image nothing else can",
         3,
         {{0, 1, true, 90, 0}, {1, 2, false, 9, 10}, {0, 2, false, 30, 0, true}},
         {0, 1, 2},
         {0, 0, 1}},
        // 0 1 2 held by accepted pairs; 3 by failed ones only: all three hold it, not just the
        // strongest, while 2-4 inside the held part stays dropped and 1-3 keeps too few.
        {"an image no accepted pair holds keeps all its weak pairs",
         5,
         {{0, 1, true, 90, 0}, {1, 2, true, 90, 0}, {0, 3, false, 20, 10}, {2, 3, false, 15, 10},
          {1, 3, false, 8, 20}, {2, 4, true, 90, 0}, {1, 4, false, 30, 10}},
         {0, 1, 2, 3, 4},
         {0, 0, 1, 1, 0, 0, 0}},
        // Image 3 overlaps three held images with a handful of agreeing matches each, none
        // enough alone; together they are (24 > 10 + 0.2 x 26), and image 4 then hangs on 3.
        {"an image held by its failed pairs together, and one beyond it",
         5,
         {{0, 1, true, 90, 0}, {1, 2, true, 90, 0}, {0, 3, false, 8, 1}, {1, 3, false, 9, 1},
          {2, 3, false, 7, 0}, {3, 4, false, 30, 5}},
         {0, 1, 2, 3, 4},
         {0, 0, 1, 1, 1, 1}},
        {"failed pairs that together keep too few leave their image out",
         4,
         {{0, 1, true, 90, 0}, {1, 2, true, 90, 0}, {0, 3, false, 5, 10}, {2, 3, false, 6, 10}},
         {0, 1, 2},
         {0, 0, 0, 0}},
        {"two images whose one pair failed with enough agreeing matches",
         2,
         {{0, 1, false, 30, 30}},
         {0, 1},
         {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<float>> errors;
        const WeakPairs w = decide(c, errors);
        EXPECT_EQ(w.component, c.held);
        EXPECT_EQ(w.weak, c.weak);
        EXPECT_EQ(w.component.size() + w.leftOut.size(), static_cast<size_t>(c.images));
        ASSERT_EQ(w.leftOutWhy.size(), w.leftOut.size());
        for (const std::string& why : w.leftOutWhy) EXPECT_FALSE(why.empty());
        for (size_t k = 0; k < c.links.size(); ++k)
            if (w.weak[k]) {
                // The loose threshold keeps the genuine matches and none of those 4 px off.
                EXPECT_GE(w.kept[k], c.links[k].genuine * 95 / 100);
                EXPECT_LE(w.kept[k], c.links[k].genuine);
            }
    }
}

// The weak threshold keeps genuine matches spread up to a few times more than the panorama's
// and never a cluster pixels away, however many of the pair's matches sit in it.
TEST(WeakPairsTest, TheWeakThresholdKeepsTheGenuineMatchesAndNoFarCluster) {
    const RansacOptions acceptance;
    const struct {
        int genuine, off;
        float sigma;
    } cases[] = {{400, 0, 0.2f}, {200, 200, 0.2f}, {60, 340, 0.2f}, {100, 50, 0.5f}, {0, 80, 0.2f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.genuine << " genuine of sigma " << c.sigma << ", " << c.off << " off");
        const float tight = 0.6f;
        const float t = weakThreshold(errorsOf(c.genuine, c.off, c.sigma, 3), tight, acceptance);
        EXPECT_GE(t, tight);
        EXPECT_LT(t, 4.0f);  // the cluster starts at 4 px
        if (c.genuine > c.off) {
            EXPECT_GT(t, 3.0f * c.sigma);
        }
    }
    EXPECT_EQ(lowerQuartileSigma({}), 0.0f);
    EXPECT_NEAR(lowerQuartileSigma(errorsOf(4000, 0, 0.5f, 5)), 0.5f, 0.03f);
}

}  // namespace
}  // namespace vantorra
