#include "matching/ransac.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/thread_pool.h"
#include "matching/random.h"
#include "numerics/camera.h"

namespace vantorra {
namespace {

struct Correspondence {
    float x, y, u, v;
};

MatchPoints pointsFrom(const std::vector<Correspondence>& list) {
    const int n = static_cast<int>(list.size());
    MatchPoints points{Matrix(2, n), Matrix(2, n)};
    for (int k = 0; k < n; ++k) {
        points.first.at(0, k) = list[k].x;
        points.first.at(1, k) = list[k].y;
        points.second.at(0, k) = list[k].u;
        points.second.at(1, k) = list[k].v;
    }
    return points;
}

// `good` matches following a translation by (10, 20) and `bad` ones with unrelated partners, all
// well inside two 400 x 400 feature images either way.
std::vector<Correspondence> translatedWithOutliers(int good, int bad, std::mt19937& rng) {
    std::uniform_real_distribution<float> inside(60.0f, 300.0f);
    std::vector<Correspondence> list;
    for (int k = 0; k < good; ++k) {
        const float x = inside(rng), y = inside(rng);
        list.push_back({x, y, x + 10.0f, y + 20.0f});
    }
    while (static_cast<int>(list.size()) < good + bad) {
        const float x = inside(rng), y = inside(rng), u = inside(rng), v = inside(rng);
        if (std::hypot(u - x - 10.0f, v - y - 20.0f) > 60.0f) list.push_back({x, y, u, v});
    }
    return list;
}

TEST(RansacTest, RandomSequenceFollowsTheLinearCongruentialRule) {
    RandomStream sequence;
    EXPECT_EQ(sequence.state(), 1u);  // every run starts where the first run of a program always did
    for (int draw = 0; draw < 5; ++draw) {
        const uint32_t before = sequence.state();
        const uint32_t after = before * 214013u + 2531011u;
        EXPECT_EQ(sequence.next(), static_cast<int32_t>((after >> 16) & 0x7FFF));
        EXPECT_EQ(sequence.state(), after);
    }
}

TEST(RansacTest, FitAndInverseMatchTheCameraModelBitForBit) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> coordinate(-300.0f, 300.0f);
    for (int trial = 0; trial < 2000; ++trial) {
        float c[8];
        for (float& value : c) value = coordinate(rng);
        if (trial % 10 == 0) c[4] = c[0] + 0.5f;  // first image closer than the minimum distance
        if (trial % 10 == 1) c[1] = c[5];         // a zero row offset exercises the pivot swap
        const Similarity fast = fitSimilarity(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], 1.0f);
        const Matrix reference =
            similarityFromPairs(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], 1.0f);
        const Matrix fastMatrix = fast.toMatrix();
        for (int r = 0; r < 3; ++r)
            for (int col = 0; col < 3; ++col) EXPECT_EQ(fastMatrix.at(r, col), reference.at(r, col));
        const Matrix inverse = invertSimilarity(reference);
        const Similarity fastInverse = invertSimilarity(fast);
        EXPECT_EQ(fastInverse.a, inverse.at(0, 0));
        EXPECT_EQ(fastInverse.b, inverse.at(0, 1));
        EXPECT_EQ(fastInverse.tx, inverse.at(0, 2));
        EXPECT_EQ(fastInverse.ty, inverse.at(1, 2));
    }
}

TEST(RansacTest, InliersMustAgreeForwardAndBackward) {
    // A halving similarity: a forward miss of 8 pixels is a backward miss of 16.
    const Similarity half{0.5f, 0.0f, 0.0f, 0.0f};
    const MatchPoints points = pointsFrom({
        {100, 100, 50, 50},    // exact
        {200, 100, 108, 50},   // 8 forward, 16 backward: outlier
        {100, 200, 54, 100},   // 4 forward, 8 backward: inlier
        {300, 300, 190, 150},  // 40 forward: outlier
    });
    std::vector<uint8_t> flags;
    EXPECT_EQ(countInliers(points, 4, half, 10.0f, flags), 2);
    EXPECT_EQ(flags, (std::vector<uint8_t>{1, 0, 1, 0}));
    // A count to beat: the exact count and flags while it can still be beaten, and no more than
    // the count to beat once it cannot.
    EXPECT_EQ(countInliers(points, 4, half, 10.0f, flags, 1), 2);
    EXPECT_EQ(flags, (std::vector<uint8_t>{1, 0, 1, 0}));
    EXPECT_LE(countInliers(points, 4, half, 10.0f, flags, 2), 2);
    EXPECT_LE(countInliers(points, 4, half, 10.0f, flags, 3), 3);
}

// Many columns, not a whole number of the blocks counted at once, near the threshold either way
// and with a NaN: the flags and count of a column-by-column check, and a count given up only once
// it cannot beat the count to beat.
TEST(RansacTest, InlierCountOfManyColumnsMatchesOneColumnAtATime) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> position(0.0f, 500.0f), miss(-12.0f, 12.0f);
    const Similarity h{0.93f, 0.21f, 14.5f, -3.25f};
    const Similarity back = invertSimilarity(h);
    const int n = 1001;
    std::vector<Correspondence> list;
    for (int k = 0; k < n; ++k) {
        const float x = position(rng), y = position(rng);
        list.push_back({x, y, h.a * x + h.b * y + h.tx + miss(rng), h.a * y - h.b * x + h.ty + miss(rng)});
    }
    list[500].u = std::nanf("");
    const MatchPoints points = pointsFrom(list);
    const float threshold = 9.0f;
    std::vector<uint8_t> expected(n, 0);
    int inliers = 0;
    auto within = [&](float x, float y, float u, float v) {
        const float ex = x - u, ey = y - v;
        return !(ex * ex + ey * ey > threshold * threshold);
    };
    for (int k = 0; k < n; ++k) {
        const Correspondence& c = list[k];
        const bool in = within(h.a * c.x + h.b * c.y + h.tx, h.a * c.y - h.b * c.x + h.ty, c.u, c.v) &&
                        within(back.a * c.u + back.b * c.v + back.tx, back.a * c.v - back.b * c.u + back.ty, c.x, c.y);
        expected[k] = in;
        inliers += in;
    }
    ASSERT_GT(inliers, n / 4);
    ASSERT_LT(inliers, n);
    std::vector<uint8_t> flags;
    EXPECT_EQ(countInliers(points, n, h, threshold, flags), inliers);
    EXPECT_EQ(flags, expected);
    EXPECT_EQ(countInliers(points, n, h, threshold, flags, inliers - 1), inliers);
    EXPECT_EQ(flags, expected);
    EXPECT_LE(countInliers(points, n, h, threshold, flags, inliers), inliers);
    EXPECT_LE(countInliers(points, n, h, threshold, flags, n - 1), n - 1);
}

TEST(RansacTest, OverlapCountsOnlyPositionsStrictlyInsideBothImages) {
    const Similarity shift{1.0f, 0.0f, 0.0f, 10.0f};  // column + 10
    struct Case {
        Correspondence c;
        int expected;
    };
    const Case cases[] = {
        {{5, 5, 5, 15}, 1},     // inside both ways
        {{0, 5, 0, 15}, 0},     // row 0 is on the edge, not inside
        {{5, 90, 5, 100}, 0},   // maps to column 100 of a 100-wide image j
        {{5, -5, 5, 5}, 0},     // partner maps back to column -5 of image i
        {{49.5f, 80, 49.5f, 90}, 1},
        {{50, 80, 50, 90}, 0},  // image j has 50 rows
    };
    for (const Case& c : cases) {
        const MatchPoints points = pointsFrom({c.c});
        EXPECT_EQ(countOverlap(points, 1, shift, 60, 100, 50, 100), c.expected)
            << c.c.x << ", " << c.c.y;
    }
}

TEST(RansacTest, HypothesesAtTheScaleLimitAreNotEvaluated) {
    // All points on one row, so every fit is exact: a = scale, b = 0, and s^2 = scale^2 exactly.
    struct Case {
        float scale;
        bool evaluated;
    };
    for (const Case& c : {Case{16.0f, true}, Case{32.0f, false}, Case{1.0f / 16, true},
                          Case{1.0f / 32, false}}) {
        std::vector<Correspondence> list;
        for (int k = 1; k <= 20; ++k) {
            const float x = 64.0f * k, y = 64.0f;
            list.push_back({x, y, c.scale * x, c.scale * y + 3.0f});
        }
        RansacOptions options;
        Matrix model;
        RandomStream random;
        const std::vector<int32_t> inliers = ransacPair(pointsFrom(list), 20, options, model, random);
        EXPECT_EQ(inliers.size(), c.evaluated ? 20u : 0u) << c.scale;
        EXPECT_EQ(model.at(0, 0), c.evaluated ? c.scale : 0.0f) << c.scale;
    }
}

TEST(RansacTest, RansacFindsTheTranslationAmongOutliers) {
    std::mt19937 rng(8);
    const std::vector<Correspondence> list = translatedWithOutliers(40, 60, rng);
    Matrix model;
    RandomStream random;
    const std::vector<int32_t> inliers = ransacPair(pointsFrom(list), 100, RansacOptions{}, model, random);
    ASSERT_EQ(inliers.size(), 40u);
    for (int k = 0; k < 40; ++k) EXPECT_EQ(inliers[k], k);  // ascending column order
    EXPECT_NEAR(model.at(0, 0), 1.0f, 1e-4);
    EXPECT_NEAR(model.at(0, 1), 0.0f, 1e-4);
    EXPECT_NEAR(model.at(0, 2), 10.0f, 1e-2);
    EXPECT_NEAR(model.at(1, 2), 20.0f, 1e-2);
}

TEST(RansacTest, EmptyPairDrawsNothing) {
    RandomStream random(77);
    Matrix model;
    EXPECT_TRUE(ransacPair(MatchPoints{}, 0, RansacOptions{}, model, random).empty());
    EXPECT_EQ(random.state(), 77u);
    EXPECT_EQ(model.rows, 3);
    for (float value : model.data) EXPECT_EQ(value, 0.0f);
}

TEST(RansacTest, MinimumInliersGrowWithOverlap) {
    RansacOptions options;
    EXPECT_EQ(minInliersFor(100, options), 30);
    EXPECT_EQ(minInliersFor(0, options), 10);
    EXPECT_EQ(minInliersFor(4, options), 10);   // 10.8 truncates
    EXPECT_EQ(minInliersFor(5, options), 11);
    options.alpha = 3.0f;
    options.beta = 0.5f;
    EXPECT_EQ(minInliersFor(7, options), 6);
}

TEST(RansacTest, StreamsAheadDrawWhatTheSequenceDrawsLater) {
    RandomStream sequence(4242);
    for (const uint64_t offset : {uint64_t{0}, uint64_t{1}, uint64_t{2}, uint64_t{999}, uint64_t{1} << 20}) {
        const uint32_t start = sequence.state();
        RandomStream ahead = sequence.ahead(offset);
        EXPECT_EQ(sequence.state(), start) << "looking ahead moved the sequence";
        RandomStream walked(start);
        for (uint64_t k = 0; k < offset; ++k) walked.next();
        EXPECT_EQ(ahead.state(), walked.state()) << offset;
        for (int k = 0; k < 5; ++k) EXPECT_EQ(ahead.next(), walked.next()) << offset;
    }
    const uint32_t start = sequence.state();
    sequence.skip(1000);
    RandomStream walked(start);
    for (int k = 0; k < 1000; ++k) walked.next();
    EXPECT_EQ(sequence.next(), walked.next());
    EXPECT_EQ(sequence.state(), walked.state());
    EXPECT_EQ(stateAfter(12345u, 0), 12345u);
}

TEST(RansacTest, PairDrawsTwicePerIterationFromItsStream) {
    std::mt19937 rng(8);
    const MatchPoints points = pointsFrom(translatedWithOutliers(40, 20, rng));
    RansacOptions options;
    options.ransacIterations = 37;
    EXPECT_EQ(ransacDraws(60, options), 74u);
    EXPECT_EQ(ransacDraws(0, options), 0u);
    const uint32_t origin = 987654u;
    Matrix fromStream, fromAhead;
    RandomStream stream(stateAfter(origin, 5));
    const std::vector<int32_t> a = ransacPair(points, 60, options, fromStream, stream);
    EXPECT_EQ(stream.state(), stateAfter(origin, 79));
    RandomStream ahead = RandomStream(origin).ahead(5);  // the same place, reached by looking ahead
    const std::vector<int32_t> b = ransacPair(points, 60, options, fromAhead, ahead);
    EXPECT_EQ(ahead.state(), stream.state());
    EXPECT_EQ(a, b);
    EXPECT_EQ(fromStream.data, fromAhead.data);
}

class VerifyPairsTest : public ::testing::Test {
protected:
    std::string verify(MatchTable& matches, const std::vector<ImageSize>& sizes,
                       const RansacOptions& options = RansacOptions{}, ThreadPool* pool = nullptr) {
        ProgressReporter progress;
        std::ostringstream log;
        verifyPairs(matches, sizes, options, random, progress, log, pool);
        return log.str();
    }
    RandomStream random;  // the run's sequence, carried from one verification to the next
    static void setPair(MatchTable& matches, int i, int j, const std::vector<Correspondence>& list) {
        matches.count(i, j) = static_cast<int32_t>(list.size());
        matches.place(i, j) = pointsFrom(list);
    }
    const std::vector<ImageSize> twoImages{{400, 400, 3}, {400, 400, 3}};
};

TEST_F(VerifyPairsTest, AcceptsOnlyAboveTheMinimumAndKeepsOnlyInliers) {
    // 100 raw matches all inside the overlap: minNInliers = (int)(100 * 0.2 + 10) = 30.
    struct Case {
        int good;
        bool accepted;
    };
    for (const Case& c : {Case{30, false}, Case{31, true}}) {
        std::mt19937 rng(40 + c.good);
        const std::vector<Correspondence> list = translatedWithOutliers(c.good, 100 - c.good, rng);
        MatchTable matches(2);
        setPair(matches, 0, 1, list);
        const std::string log = verify(matches, twoImages);
        const std::string line = " nInliers = " + std::to_string(c.good) +
                                 ", nOverlap = 100, minNInliers = 30" +
                                 (c.accepted ? " - ACCEPT" : " - REJECT");
        EXPECT_NE(log.find(line + "\n"), std::string::npos) << log;
        EXPECT_EQ(matches.count(0, 1), c.accepted ? c.good : 0);
        EXPECT_EQ(std::as_const(matches).points(0, 1).first.cols, c.accepted ? c.good : 0);
        if (c.accepted) {
            for (int k = 0; k < c.good; ++k) {  // the inlier columns, in their original order
                EXPECT_EQ(matches.points(0, 1).first.at(0, k), list[k].x);
                EXPECT_EQ(matches.points(0, 1).second.at(1, k), list[k].v);
            }
        }
    }
}

TEST_F(VerifyPairsTest, RejectedLineShowsItsFigures) {
    // Three exact matches, but images of one pixel leave nothing strictly inside.
    MatchTable matches(2);
    setPair(matches, 0, 1, {{1, 1, 3, 4}, {5, 9, 7, 12}, {20, 2, 22, 5}});
    const std::vector<ImageSize> tiny{{1, 1, 3}, {1, 1, 3}};
    const std::string log = verify(matches, tiny);
    EXPECT_NE(log.find(" nInliers = 3, nOverlap = 0, minNInliers = 10 - REJECT\n"), std::string::npos)
        << log;
    EXPECT_EQ(matches.count(0, 1), 0);
    EXPECT_TRUE(std::as_const(matches).points(0, 1).first.empty());
}

TEST_F(VerifyPairsTest, PairWithoutRawMatchesIsRejectedWithoutDrawing) {
    MatchTable matches(2);
    const uint32_t before = random.state();
    const std::string log = verify(matches, twoImages);
    EXPECT_EQ(random.state(), before);
    EXPECT_EQ(log,
              "[ Performing RANSAC ]\n"
              "  Image 0\n"
              " nInliers = 0, nOverlap = 0, minNInliers = 10 - REJECT\n"
              "  Image 1\n"
              " nInliers = 0, nOverlap = 0, minNInliers = 10 - REJECT\n");
}

TEST_F(VerifyPairsTest, EachImageVerifiesOnlyItsBestCandidates) {
    // Image 0 matches image 2 better than image 1; with one candidate only (0, 2) is tried and
    // (0, 1) is cleared unverified. Image 1 is held by its own pair with image 2, so no image
    // needs further partners.
    std::mt19937 rng(2);
    MatchTable matches(3);
    setPair(matches, 0, 1, translatedWithOutliers(50, 0, rng));
    setPair(matches, 0, 2, translatedWithOutliers(60, 0, rng));
    setPair(matches, 1, 2, translatedWithOutliers(40, 0, rng));
    RansacOptions options;
    options.candidateImages = 1;
    const std::vector<ImageSize> sizes{{400, 400, 3}, {400, 400, 3}, {400, 400, 3}};
    const std::string log = verify(matches, sizes, options);
    EXPECT_EQ(matches.count(0, 1), 0);
    EXPECT_EQ(matches.count(0, 2), 60);
    size_t lines = 0;
    for (size_t at = log.find(" nInliers"); at != std::string::npos; at = log.find(" nInliers", at + 1))
        ++lines;
    EXPECT_EQ(lines, 3u);  // one per image
}

TEST_F(VerifyPairsTest, EachDirectionIsDecidedOnItsOwn) {
    std::mt19937 rng(9);
    MatchTable matches(2);
    setPair(matches, 0, 1, translatedWithOutliers(60, 10, rng));
    setPair(matches, 1, 0, translatedWithOutliers(0, 70, rng));
    verify(matches, twoImages);
    EXPECT_EQ(matches.count(0, 1), 60);
    EXPECT_EQ(matches.count(1, 0), 0);
    EXPECT_TRUE(std::as_const(matches).points(1, 0).second.empty());
}

TEST_F(VerifyPairsTest, ThreadsGiveTheTableLogAndSequenceOfOneThread) {
    // Five images with pairs of every kind: clean, noisy, hopeless and empty, so that pairs draw
    // different amounts and a pair verified from the wrong place in the sequence would differ.
    const auto makeTable = [this] {
        std::mt19937 rng(21);
        MatchTable matches(5);
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 5; ++j) {
                if (i == j || (i + j) % 4 == 3) continue;  // some pairs stay empty
                const int good = (i * 7 + j * 3) % 5 * 12, bad = 5 + (i + 2 * j) % 3 * 30;
                setPair(matches, i, j, translatedWithOutliers(good, bad, rng));
            }
        return matches;
    };
    const std::vector<ImageSize> sizes(5, ImageSize{400, 400, 3});
    RansacOptions options;
    options.ransacIterations = 40;  // few draws, so that the outcome leans on which ones
    const MatchTable raw = makeTable();
    uint64_t draws = 0;  // every partner is a candidate: each non-empty pair draws once
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) draws += ransacDraws(raw.count(i, j), options);
    const uint32_t start = random.state();
    MatchTable serial = makeTable();
    const std::string serialLog = verify(serial, sizes, options);
    const uint32_t end = random.state();
    ASSERT_EQ(end, stateAfter(start, draws));
    for (const int threads : {2, 3, 4}) {
        random.skip((uint64_t{1} << 32) - draws);  // the sequence has period 2^32: back to start
        ASSERT_EQ(random.state(), start);
        ThreadPool pool(threads);
        MatchTable parallel = makeTable();
        EXPECT_EQ(verify(parallel, sizes, options, &pool), serialLog) << threads;
        EXPECT_EQ(random.state(), end) << threads;
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 5; ++j) {
                ASSERT_EQ(parallel.count(i, j), serial.count(i, j)) << i << " " << j;
                EXPECT_EQ(std::as_const(parallel).points(i, j).first.data, std::as_const(serial).points(i, j).first.data);
                EXPECT_EQ(std::as_const(parallel).points(i, j).second.data, std::as_const(serial).points(i, j).second.data);
            }
    }
}

TEST_F(VerifyPairsTest, EachPairDrawsWhereThePairBeforeItLeftOff) {
    // Three iterations on noisy pairs: how many inliers a pair finds depends on its draws.
    std::mt19937 rng(33);
    const std::vector<Correspondence> forward = translatedWithOutliers(30, 30, rng);
    const std::vector<Correspondence> backward = translatedWithOutliers(25, 35, rng);
    RansacOptions options;
    options.ransacIterations = 3;
    const uint32_t start = random.state();
    Matrix model;
    RandomStream stream(start);
    const size_t first = ransacPair(pointsFrom(forward), 60, options, model, stream).size();
    const size_t second = ransacPair(pointsFrom(backward), 60, options, model, stream).size();
    MatchTable matches(2);
    setPair(matches, 0, 1, forward);
    setPair(matches, 1, 0, backward);
    ThreadPool pool(2);
    const std::string log = verify(matches, twoImages, options, &pool);
    EXPECT_NE(log.find("  Image 0\n nInliers = " + std::to_string(first) + ","), std::string::npos) << log;
    EXPECT_NE(log.find("  Image 1\n nInliers = " + std::to_string(second) + ","), std::string::npos) << log;
    EXPECT_EQ(random.state(), stream.state());
}

}  // namespace
}  // namespace vantorra

namespace vantorra {
namespace {

// Eight images: image 7 shares `good` translated matches with image 0 among 100 raw ones, but
// its raw counts with images 1 to 5 (unrelated matches only) are larger, so image 0 is not among
// its first five candidates. An image no pair holds is checked against its further partners.
TEST_F(VerifyPairsTest, AnImageNoPairHoldsIsCheckedAgainstItsFurtherPartners) {
    const struct {
        int good;
        bool joined;
    } cases[] = {{60, true}, {25, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.good << " good matches with image 0");
        std::mt19937 rng(70 + c.good);
        MatchTable matches(8);
        setPair(matches, 7, 0, translatedWithOutliers(c.good, 100 - c.good, rng));
        for (int j = 1; j <= 5; ++j) setPair(matches, 7, j, translatedWithOutliers(0, 120, rng));
        const std::vector<ImageSize> sizes(8, ImageSize{400, 400, 3});
        ProgressReporter progress;
        std::ostringstream log;
        const std::vector<ClosestCheck> closest = verifyPairs(matches, sizes, RansacOptions{}, random, progress, log);
        EXPECT_EQ(matches.count(7, 0) > 0, c.joined);
        EXPECT_EQ(matches.count(7, 0), c.joined ? c.good : 0);
        for (int j = 1; j <= 5; ++j) EXPECT_EQ(matches.count(7, j), 0);
        ASSERT_EQ(closest.size(), 8u);
        // The closest check of image 7 is the one with image 0, accepted or not.
        EXPECT_EQ(closest[7].j, 0);
        EXPECT_EQ(closest[7].inliers, c.good);
        EXPECT_EQ(closest[0].j, -1);  // image 0 has no raw matches of its own to check
    }
}

}  // namespace
}  // namespace vantorra
