// Grid patches for weak pairs: three views of a smooth synthetic scene, two of them joined by
// plenty of matches and the third by none. The weak pairs gain patches that land where the true
// cameras put them; a scene without texture gives none, and strong pairs are left alone.

#include "matching/guided_matches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "matching/ransac.h"
#include "numerics/pair_projection.h"

namespace vantorra {
namespace {

constexpr int kRows = 160, kCols = 240;
constexpr float kFocal = 260.0f;

Camera cameraAt(float pan) {
    Camera c;
    c.R = rotationFromVector(Vec3{pan, 0.0f, 0.0f}).toMatrix();
    c.f = kFocal;
    return c;
}

// The scene's brightness in direction d: soft waves of a few dozen pixels.
float scene(const Vec3& d, float amplitude) {
    const float theta = std::atan2(d.y, d.z), phi = std::asin(d.x / std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z));
    return 0.5f + amplitude * (std::sin(23.0f * theta) * std::cos(19.0f * phi) + 0.6f * std::sin(37.0f * theta + 11.0f * phi));
}

AlignmentRaster view(const Camera& c, float amplitude) {
    AlignmentRaster r;
    r.rows = kRows;
    r.cols = kCols;
    r.grey.resize(static_cast<size_t>(kRows) * kCols);
    const Mat3 rt = transposed(Mat3::fromMatrix(c.R));
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kCols; ++x) {
            const Vec3 ray{(static_cast<float>(y) - 0.5f * (kRows - 1)) / c.f, (static_cast<float>(x) - 0.5f * (kCols - 1)) / c.f, 1.0f};
            r.grey[static_cast<size_t>(y) * kCols + x] = scene(rt * ray, amplitude);
        }
    return r;
}

// `count` exact matches of (i, j) on a diagonal of image i.
void exactMatches(MatchTable& matches, const std::vector<Camera>& cameras, int i, int j, int count) {
    const Mat3 h = pairHomography({Mat3::fromMatrix(cameras[i].R), cameras[i].f}, {Mat3::fromMatrix(cameras[j].R), cameras[j].f});
    MatchPoints& p = matches.place(i, j);
    p.first.resize(2, count);
    p.second.resize(2, count);
    for (int k = 0; k < count; ++k) {
        const float x = -60.0f + 120.0f * static_cast<float>(k) / count, y = (j > i ? 60.0f : -60.0f) + 0.3f * static_cast<float>(k % 7);
        const Vec3 q = h * Vec3{x, y, 1.0f};
        p.first.at(0, k) = x;
        p.first.at(1, k) = y;
        p.second.at(0, k) = q.x / q.z;
        p.second.at(1, k) = q.y / q.z;
    }
    matches.count(i, j) = count;
}

TEST(GuidedMatchesTest, AWeakPairGainsPatchesWhereTheCamerasPutThem) {
    const struct {
        const char* name;
        float amplitude;
        bool added;
    } cases[] = {{"soft waves", 0.15f, true}, {"no texture at all", 0.0f, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Camera> cameras{cameraAt(0.0f), cameraAt(0.3f), cameraAt(0.6f)};
        std::vector<AlignmentRaster> rasters;
        for (const Camera& camera : cameras) rasters.push_back(view(camera, c.amplitude));
        MatchTable matches(3);
        exactMatches(matches, cameras, 0, 1, 120);
        exactMatches(matches, cameras, 1, 0, 120);
        const std::vector<GuidedPair> guided =
            addGuidedMatches(matches, cameras, {0, 1, 2}, rasters, 0.2f, RansacOptions{});

        EXPECT_EQ(matches.count(0, 1), 120);  // strong pairs are not weak pairs
        EXPECT_EQ(matches.count(1, 0), 120);
        bool sawPair12 = false;
        for (const GuidedPair& g : guided) {
            EXPECT_FALSE((g.first == 0 && g.second == 1) || (g.first == 1 && g.second == 0));
            EXPECT_EQ(matches.count(g.first, g.second), g.added);
            if (g.first == 1 && g.second == 2) sawPair12 = true;
            if (g.added == 0) continue;
            EXPECT_GT(g.added, minInliersFor(g.candidates, RansacOptions{}));
            EXPECT_LE(g.added, medianSupport(matches, {0, 1, 2}) * 2);
            const Mat3 h = pairHomography({Mat3::fromMatrix(cameras[g.first].R), kFocal},
                                          {Mat3::fromMatrix(cameras[g.second].R), kFocal});
            // Soft waves seen under another perspective are placed to a few hundredths of a
            // pixel on average (bilinear samples and the local affine shape of a patch put the
            // best fit of so soft a patch that far off); half a pixel off, a convention would be
            // wrong.
            const MatchPoints& p = matches.points(g.first, g.second);
            double total = 0.0, worst = 0.0;
            for (int k = 0; k < g.added; ++k) {
                const Vec3 q = h * Vec3{p.first.at(0, k), p.first.at(1, k), 1.0f};
                const double e = std::hypot(p.second.at(0, k) - q.x / q.z, p.second.at(1, k) - q.y / q.z);
                total += e;
                worst = std::max(worst, e);
            }
            EXPECT_LT(total / g.added, 0.05);
            EXPECT_LT(worst, 0.3);
        }
        EXPECT_TRUE(sawPair12);
        EXPECT_EQ(matches.count(1, 2) > 0, c.added);
        EXPECT_EQ(matches.count(2, 1) > 0, c.added);
    }
}

// Which pairs are weak: those far under the median pair, and in a scene where every pair holds
// few matches, all of them; never a pair of plenty.
TEST(GuidedMatchesTest, WeakPairsAreThoseUnderHalfTheMedianOrUnderTheFloor) {
    const struct {
        const char* what;
        int32_t strong, weak;  // matches of pair (0, 1) both ways, and of every other pair
        bool firstWeak, othersWeak;
    } cases[] = {
        {"one pair far under pairs of plenty", 40, 300, true, false},
        {"one pair under half the median, over the floor", 120, 300, true, false},
        {"one pair over half the median, over the floor", 80, 120, false, false},
        {"every pair of a soft scene holds a few tens", 19, 19, true, true},
        {"a pair of plenty among soft ones", 300, 19, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MatchTable matches(4);
        for (int32_t i = 0; i < 4; ++i)
            for (int32_t j = 0; j < 4; ++j)
                if (i != j) matches.count(i, j) = (i + j == 1) ? c.strong : c.weak;
        const auto weak = weakPairs(matches, {0, 1, 2, 3}, 50);
        for (int32_t i = 0; i < 4; ++i)
            for (int32_t j = 0; j < 4; ++j) {
                if (i == j) continue;
                const bool listed = std::find(weak.begin(), weak.end(), std::pair{i, j}) != weak.end();
                EXPECT_EQ(listed, (i + j == 1) ? c.firstWeak : c.othersWeak) << i << "-" << j;
            }
    }
}

}  // namespace
}  // namespace vantorra
