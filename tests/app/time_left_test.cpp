#include "app/time_left.h"

#include <gtest/gtest.h>

namespace vantorra::testing {
namespace {

TEST(TimeLeftTest, AnEstimateOnceItMeansSomethingInWordsAtAGlance) {
    EXPECT_FALSE(secondsLeft(0.5, 1.0));   // too early to tell
    EXPECT_FALSE(secondsLeft(0.01, 60.0)); // too little done
    EXPECT_FALSE(secondsLeft(1.5, 60.0));
    ASSERT_TRUE(secondsLeft(0.25, 10.0));
    EXPECT_DOUBLE_EQ(*secondsLeft(0.25, 10.0), 30.0);
    EXPECT_DOUBLE_EQ(*secondsLeft(1.0, 10.0), 0.0);
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "Less than 5 s left"},     {4.9, "Less than 5 s left"},   {12, "About 10 s left"},
        {38, "About 40 s left"},       {61, "About 1 min left"},      {135, "About 2 min 20 s left"},
        {599, "About 10 min left"},    {3700, "About 62 min left"},
    };
    for (const auto& c : cases) EXPECT_EQ(timeLeftText(c.seconds), c.text) << c.seconds;
}

}  // namespace
}  // namespace vantorra::testing
