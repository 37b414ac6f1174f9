#include "pipeline/registration.h"

#include <gtest/gtest.h>

namespace vantorra {
namespace {

MatchTable tableWithCounts(int n, std::initializer_list<std::tuple<int, int, int>> counts) {
    MatchTable table(n);
    for (const auto& [i, j, c] : counts) table.count(i, j) = c;
    return table;
}

TEST(FeatureToPhotoTransform, CarriesCentredPositionsToPhotographPixels) {
    // A 400 x 600 feature image of a 800 x 1200 photograph (one halving).
    const Matrix t = featureToPhotoTransform({400, 600, 3}, 1);
    auto toPhoto = [&](float x, float y) {
        return std::pair{t.at(0, 0) * x + t.at(0, 1) * y + t.at(0, 2),
                         t.at(1, 0) * x + t.at(1, 1) * y + t.at(1, 2)};
    };
    // The centre of the feature image is the centre of the photograph.
    EXPECT_FLOAT_EQ(toPhoto(0, 0).first, 399.5f);
    EXPECT_FLOAT_EQ(toPhoto(0, 0).second, 599.5f);
    // Feature pixel (0, 0) covers photograph pixels 0..1: its centre is 0.5.
    EXPECT_FLOAT_EQ(toPhoto(-199.5f, -299.5f).first, 0.5f);
    EXPECT_FLOAT_EQ(toPhoto(-199.5f, -299.5f).second, 0.5f);
    EXPECT_FLOAT_EQ(t.at(2, 2), 1.0f);

    const Matrix same = featureToPhotoTransform({400, 600, 3}, 0);
    EXPECT_FLOAT_EQ(same.at(0, 0), 1.0f);
    EXPECT_FLOAT_EQ(same.at(0, 2), 199.5f);
    EXPECT_FLOAT_EQ(same.at(1, 2), 299.5f);
}

TEST(CentreMatches, MovesEachSideByItsOwnImageCentre) {
    MatchTable table(2);
    table.count(0, 1) = 1;
    table.place(0, 1).first = Matrix(2, 1);
    table.points(0, 1).second = Matrix(2, 1);
    table.points(0, 1).first.at(0, 0) = 10;
    table.points(0, 1).first.at(1, 0) = 20;
    table.points(0, 1).second.at(0, 0) = 10;
    table.points(0, 1).second.at(1, 0) = 20;
    centreMatches(table, {{101, 201, 3}, {51, 61, 3}});
    EXPECT_FLOAT_EQ(table.points(0, 1).first.at(0, 0), 10 - 50.0f);
    EXPECT_FLOAT_EQ(table.points(0, 1).first.at(1, 0), 20 - 100.0f);
    EXPECT_FLOAT_EQ(table.points(0, 1).second.at(0, 0), 10 - 25.0f);
    EXPECT_FLOAT_EQ(table.points(0, 1).second.at(1, 0), 20 - 30.0f);
}

TEST(ChooseFirstPair, LargestCountWinsAndTiesGoToThePairMetFirst) {
    struct Case {
        const char* what;
        MatchTable table;
        std::vector<int32_t> component;
        int32_t first;
    };
    const std::vector<Case> cases = {
        {"largest count", tableWithCounts(4, {{0, 1, 5}, {2, 3, 9}, {3, 2, 4}}), {0, 1, 2, 3}, 2},
        {"tie: outer image met first", tableWithCounts(4, {{3, 1, 7}, {1, 3, 7}}), {1, 3}, 1},
        {"tie within one outer image", tableWithCounts(4, {{2, 3, 7}, {2, 0, 7}}), {0, 2, 3}, 2},
        {"images outside the component are ignored",
         tableWithCounts(4, {{0, 1, 50}, {2, 3, 9}}), {2, 3}, 2},
    };
    for (const auto& c : cases) EXPECT_EQ(chooseFirstPair(c.table, c.component).registered, c.first) << c.what;
}

TEST(ChooseNextPair, PicksTheStrongestLinkToTheRegisteredSet) {
    const MatchTable table = tableWithCounts(4, {{0, 1, 4}, {2, 0, 6}, {1, 3, 6}, {3, 1, 2}});
    std::vector<bool> registered = {true, true, false, false};
    // 0-2 (max 6) and 1-3 (max 6) tie: registered image 0 is the outer loop, so 0-2 wins.
    CameraPair pair = chooseNextPair(table, {0, 1, 2, 3}, registered);
    EXPECT_EQ(pair.registered, 0);
    EXPECT_EQ(pair.next, 2);
    EXPECT_EQ(pair.count, 6);

    registered[2] = true;
    pair = chooseNextPair(table, {0, 1, 2, 3}, registered);
    EXPECT_EQ(pair.registered, 1);
    EXPECT_EQ(pair.next, 3);

    registered[3] = true;
    EXPECT_EQ(chooseNextPair(table, {0, 1, 2, 3}, registered).next, -1);
}

}  // namespace
}  // namespace vantorra
