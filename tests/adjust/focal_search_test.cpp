// The focal length a pair's matches fit: found from seeds far off for narrow and wide lenses, a
// right seed kept, and too few matches give nothing.

#include "adjust/focal_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "numerics/mat3.h"
#include "numerics/pair_projection.h"

namespace vantorra {
namespace {

// Matches of two views of focal f, the second turned by `pan` about the vertical axis and a
// little about the others, with position noise and a few strays.
MatchPoints pairOf(float f, float pan, int count, int strays, uint32_t seed) {
    const Mat3 h = pairHomography({Mat3::identity(), f}, {rotationFromVector(Vec3{pan, 0.02f, 0.01f}), f});
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> row(-200.0f, 200.0f), col(-300.0f, 300.0f);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    std::vector<float> a, b;
    while (static_cast<int>(a.size()) < 2 * count) {
        const float x = row(rng), y = col(rng);
        const Vec3 q = h * Vec3{x, y, 1.0f};
        const float u = q.x / q.z, v = q.y / q.z;
        if (q.z <= 0.0f || std::fabs(u) > 200.0f || std::fabs(v) > 300.0f) continue;
        const bool stray = static_cast<int>(a.size()) < 2 * strays;
        a.insert(a.end(), {x + noise(rng), y + noise(rng)});
        b.insert(b.end(), {stray ? row(rng) : u + noise(rng), stray ? col(rng) : v + noise(rng)});
    }
    MatchPoints p{Matrix(2, count), Matrix(2, count)};
    p.first.data = a;
    p.second.data = b;
    return p;
}

TEST(FocalSearchTest, TheLengthTheMatchesFitIsFoundAndARightSeedKept) {
    struct Case {
        float focal, pan, seed;
        bool replaced;
    };
    const Case cases[] = {
        {1400.0f, 0.15f, 600.0f, true},   // telephoto, seeded by the size rule
        {2400.0f, 0.12f, 600.0f, true},   // four times the seed
        {300.0f, 0.6f, 500.0f, true},     // wider than the size rule thinks
        {620.0f, 0.5f, 600.0f, false},    // the size rule is near: kept
        {800.0f, 0.4f, 600.0f, false},    // near enough for the adjustment to find it: kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focal);
        const MatchPoints p = pairOf(c.focal, c.pan, 150, 10, 5);
        const FocalFit fit = searchFocal(p, 150, c.seed, 600.0f);
        EXPECT_EQ(clearlyBetter(fit, c.seed), c.replaced);
        // Close enough for the adjustment to finish: a narrow pair fixes its focal length loosely.
        EXPECT_NEAR(fit.focal, c.focal, 0.08f * c.focal);
        EXPECT_LT(fit.rms, 1.5f);  // the strays do not count
        EXPECT_LE(fit.rms, fit.seedRms);
    }
}

TEST(FocalSearchTest, FewerThanThreeMatchesGiveNothing) {
    const MatchPoints p = pairOf(800.0f, 0.3f, 2, 0, 1);
    EXPECT_EQ(searchFocal(p, 2, 600.0f, 600.0f).focal, 0.0f);
    EXPECT_FALSE(clearlyBetter(searchFocal(p, 2, 600.0f, 600.0f), 600.0f));
    EXPECT_EQ(searchFocal(p, 2, 0.0f, 600.0f).focal, 0.0f);
}

}  // namespace
}  // namespace vantorra
