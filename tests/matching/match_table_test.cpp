// The match table holds positions only for placed pairs, and placed pairs can be written by
// several threads at once.

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "matching/match_table.h"

namespace vantorra {
namespace {

TEST(MatchTable, OnlyCountedPairsArePlaced) {
    MatchTable table(4);
    table.count(0, 1) = 3;
    table.count(2, 0) = 1;
    table.count(3, 3) = 0;
    table.placeCounted();
    EXPECT_EQ(table.placedPairs(), 2);
    EXPECT_TRUE(table.placed(0, 1));
    EXPECT_TRUE(table.placed(2, 0));
    EXPECT_FALSE(table.placed(1, 0));
    // An unplaced pair reads as empty and cannot be written.
    EXPECT_TRUE(std::as_const(table).points(1, 0).first.empty());
    EXPECT_THROW(table.points(1, 0), std::logic_error);
    EXPECT_NO_THROW(table.points(0, 1));
}

TEST(MatchTable, PlacingAgainKeepsWrittenPositions) {
    MatchTable table(3);
    table.place(1, 2).first = Matrix(2, 5);
    table.points(1, 2).first.at(1, 4) = 7.0f;
    table.count(1, 0) = 2;  // a pair counted later, placed in the same row before (1, 2)
    table.count(1, 2) = 5;
    table.placeCounted();
    EXPECT_EQ(table.placedPairs(), 2);
    EXPECT_EQ(table.points(1, 2).first.cols, 5);
    EXPECT_EQ(table.points(1, 2).first.at(1, 4), 7.0f);
    EXPECT_TRUE(table.points(1, 0).first.empty());
    EXPECT_EQ(&table.place(1, 2), &table.points(1, 2));  // placing a placed pair changes nothing
}

TEST(MatchTable, ClearedPairsAreDroppedWithTheirPositions) {
    MatchTable table(3);
    for (int j : {0, 2}) {
        table.count(1, j) = 4;
        table.place(1, j).second = Matrix(2, 4);
    }
    table.clear(1, 0);
    EXPECT_EQ(table.count(1, 0), 0);
    EXPECT_TRUE(table.points(1, 0).second.empty());  // released, still placed
    table.dropEmpty();
    EXPECT_FALSE(table.placed(1, 0));
    EXPECT_TRUE(table.placed(1, 2));
    EXPECT_EQ(table.points(1, 2).second.cols, 4);
    table.clear(2, 1);  // clearing an unplaced pair only zeroes its count
    EXPECT_EQ(table.placedPairs(), 1);
}

TEST(MatchTable, CopiesAreDeep) {
    MatchTable table(2);
    table.count(0, 1) = 1;
    table.place(0, 1).first = Matrix(2, 1);
    MatchTable copy = table;
    copy.points(0, 1).first.at(0, 0) = 3.0f;
    copy.count(0, 1) = 9;
    EXPECT_EQ(table.points(0, 1).first.at(0, 0), 0.0f);
    EXPECT_EQ(table.count(0, 1), 1);
}

// Threads each filling their own rows of a placed table: every pair gets what its thread wrote.
TEST(MatchTable, ThreadsWriteDifferentPairsAtOnce) {
    constexpr int n = 40;
    MatchTable table(n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (i != j && (i + j) % 3 == 0) table.count(i, j) = 1 + (i * n + j) % 7;
    table.placeCounted();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&table, t] {
            for (int i = t; i < n; i += 4)
                for (int j = 0; j < n; ++j) {
                    if (table.count(i, j) <= 0) continue;
                    MatchPoints& p = table.points(i, j);
                    p.first = Matrix(2, table.count(i, j));
                    p.first.at(0, 0) = static_cast<float>(i * n + j);
                }
        });
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            if (table.count(i, j) <= 0) {
                EXPECT_FALSE(table.placed(i, j));
                continue;
            }
            ASSERT_EQ(table.points(i, j).first.cols, table.count(i, j));
            EXPECT_EQ(table.points(i, j).first.at(0, 0), static_cast<float>(i * n + j));
        }
}

}  // namespace
}  // namespace vantorra
