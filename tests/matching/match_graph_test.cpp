#include "matching/match_graph.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vantorra {
namespace {

using Components = std::vector<std::vector<int32_t>>;

struct GraphCase {
    const char* name;
    int n;
    std::vector<std::pair<int, int>> accepted;  // ordered pairs (i, j) with count(i, j) > 0
    Components expected;
    std::string lines;  // the component lines of the log
};

TEST(MatchGraphTest, ComponentsAreJoinedFromEitherSideAndOrderedLargestFirst) {
    const GraphCase cases[] = {
        {"two accepted one", 3, {{0, 1}, {2, 1}}, {{0, 1, 2}}, " 0 1 2 \n"},
        {"two pairs", 4, {{0, 1}, {2, 3}}, {{0, 1}, {2, 3}}, " 0 1 \n 2 3 \n"},
        {"chain 3-2-1-0", 4, {{3, 2}, {2, 1}, {1, 0}}, {{0, 1, 2, 3}}, " 0 1 2 3 \n"},
        {"one-sided acceptance", 2, {{1, 0}}, {{0, 1}}, " 0 1 \n"},
        {"larger later component first", 6, {{0, 5}, {1, 2}, {2, 3}}, {{1, 2, 3}, {0, 5}},
         " 1 2 3 \n 0 5 \n"},
        {"unmatched image left out", 3, {{0, 2}}, {{0, 2}}, " 0 2 \n"},
        {"nothing matched", 3, {}, {}, ""},
    };
    for (const GraphCase& c : cases) {
        MatchTable matches(c.n);
        for (const auto& [i, j] : c.accepted) matches.count(i, j) = 7;
        std::ostringstream stream;
        const Components components = findComponents(matches, stream);
        const std::string log = stream.str();
        EXPECT_EQ(components, c.expected) << c.name;
        EXPECT_EQ(log, "[ Finding connected components ]\n[ Found " +
                           std::to_string(c.expected.size()) + " connected components ]\n" +
                           c.lines + "\n")
            << c.name;
    }
}

TEST(MatchGraphTest, JoinedIsSymmetricAndNeedsAPositiveCount) {
    MatchTable matches(3);
    matches.count(0, 1) = 4;
    matches.count(2, 0) = 0;
    EXPECT_TRUE(joined(matches, 0, 1));
    EXPECT_TRUE(joined(matches, 1, 0));
    EXPECT_FALSE(joined(matches, 0, 2));
    EXPECT_FALSE(joined(matches, 1, 2));
}

}  // namespace
}  // namespace vantorra
