#include "options/option_conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace vantorra {
namespace {

TEST(OptionConversions, PercentShownAsRoundedInteger) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {{0.1f, "10%"}, {0.25f, "25%"}, {1.0f, "100%"}, {0.005f, "1%"}, {0.0f, "0%"}, {0.994f, "99%"}};
    for (const Case& c : cases) EXPECT_EQ(percentText(c.value), c.text) << c.value;
}

TEST(OptionConversions, PercentReadBackOnlyFromTwoCharacters) {
    struct Case {
        const char* text;
        float expected;
    };
    const float previous = 0.37f;
    const Case cases[] = {
        {"5", previous}, {"", previous}, {"%", previous}, {"5%", 0.05f}, {"50", 0.5f},
        {"10%", 0.1f},   {"ab", 0.0f},   {"12.5%", 0.125f}, {" 25 %", 0.25f}, {"100%%", 1.0f},
    };
    for (const Case& c : cases) EXPECT_FLOAT_EQ(readPercent(c.text, previous), c.expected) << '"' << c.text << '"';
}

TEST(OptionConversions, PercentRoundTripOfComboEntries) {
    for (const char* entry : {"100%", "50%", "25%", "10%"}) EXPECT_EQ(percentText(readPercent(entry, 0.0f)), entry);
}

TEST(OptionConversions, MemoryShownInGigabytesWithTwoDecimals) {
    EXPECT_EQ(memoryText(int64_t{1} << 28), "0.25");
    EXPECT_EQ(memoryText(int64_t{1} << 30), "1.00");
    EXPECT_EQ(memoryText(int64_t{1} << 31), "2.00");
    EXPECT_EQ(memoryText(107374182), "0.10");
}

TEST(OptionConversions, MemoryChoiceOfTwoGigabytesGivesPositiveBudgets) {
    StitchOptions options;
    options.systemMemory = readMemory("2.0");
    EXPECT_EQ(options.systemMemory, 2147483648LL);
    const auto featureBudget = static_cast<int64_t>(static_cast<double>(options.systemMemory) * options.featureMemoryFraction);
    EXPECT_GT(featureBudget, 0);
    EXPECT_GT(options.systemMemory - featureBudget, 0);
}

TEST(OptionConversions, MemoryReadBackTruncatesAndSurvivesNonsense) {
    EXPECT_EQ(readMemory("0.25"), int64_t{1} << 28);
    EXPECT_EQ(readMemory("0.1"), 107374182);  // 107374182.4 truncated
    EXPECT_EQ(readMemory("1.5 GB"), 1610612736);
    EXPECT_EQ(readMemory("GB"), 0);
    EXPECT_EQ(readMemory("1e30"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(readMemory("1e400"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(readMemory("nan"), 0);
    for (const char* entry : {"2.0", "1.0", "0.5", "0.25"}) EXPECT_EQ(readMemory(memoryText(readMemory(entry))), readMemory(entry));
}

TEST(OptionConversions, AnglesInDegreesRoundTrip) {
    const float minusPi = -3.1415927f;
    EXPECT_EQ(angleText(minusPi), "-180");
    EXPECT_EQ(angleText(1.5707964f), "90");
    EXPECT_EQ(angleText(0.0f), "0");
    const std::optional<float> back = readAngle(angleText(minusPi));
    ASSERT_TRUE(back.has_value());
    EXPECT_NEAR(*back, minusPi, 4.0f * std::numeric_limits<float>::epsilon() * 3.1415927f);
    EXPECT_FLOAT_EQ(fromDegrees(45.0f), 0.78539819f);
    EXPECT_FALSE(readAngle("north").has_value());
}

TEST(OptionConversions, FloatsWithSixSignificantDigits) {
    EXPECT_EQ(floatText(0.375f), "0.375");
    EXPECT_EQ(floatText(5.0f), "5");
    EXPECT_EQ(floatText(3.14159265f), "3.14159");
    EXPECT_EQ(floatText(1234567.0f), "1.23457e+06");
}

TEST(OptionConversions, StrictFloatAndIntegerReading) {
    EXPECT_EQ(readFloat(" 0.2 "), 0.2f);
    EXPECT_EQ(readFloat("-1e-3"), -0.001f);
    EXPECT_FALSE(readFloat("0.2x").has_value());
    EXPECT_FALSE(readFloat("").has_value());
    EXPECT_FALSE(readFloat("--1").has_value());
    EXPECT_EQ(readInteger("500", 0, 100000), 500);
    EXPECT_EQ(readInteger("+7", 0, 10), 7);
    EXPECT_FALSE(readInteger("100001", 0, 100000).has_value());
    EXPECT_FALSE(readInteger("1", 2, 100000).has_value());
    EXPECT_FALSE(readInteger("1.5", 0, 10).has_value());
    EXPECT_FALSE(readInteger("99999999999999999999", 0, 10).has_value());
}

TEST(OptionConversions, LeadingNumberIgnoresTheRest) {
    EXPECT_DOUBLE_EQ(leadingNumber("  2.5abc"), 2.5);
    EXPECT_DOUBLE_EQ(leadingNumber("-3"), -3.0);
    EXPECT_DOUBLE_EQ(leadingNumber("+.5"), 0.5);
    EXPECT_DOUBLE_EQ(leadingNumber("x2"), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumber(""), 0.0);
}

TEST(OptionConversions, OnlyMatchingFieldsRequireRegistration) {
    using Change = void (*)(StitchOptions&);
    const Change matching[] = {
        [](StitchOptions& o) { o.feature.siftSizeMode = SiftSizeMode::Scale; },
        [](StitchOptions& o) { o.feature.siftMinDim = 401; },
        [](StitchOptions& o) { o.feature.siftScale = 0.5f; },
        [](StitchOptions& o) { o.ransac.alpha = 11.0f; },
        [](StitchOptions& o) { o.ransac.beta = 0.3f; },
        [](StitchOptions& o) { o.ransac.ransacIterations = 501; },
    };
    const Change renderingOnly[] = {
        [](StitchOptions& o) { o.render.width = 2000; },
        [](StitchOptions& o) { o.render.thetaMin = -1.0f; },
        [](StitchOptions& o) { o.render.blendingMethod = "none"; },
        [](StitchOptions& o) { o.render.projection = "other"; },
        [](StitchOptions& o) { o.systemMemory = int64_t{1} << 31; },
        [](StitchOptions& o) { o.feature.maxMatchesPerFeature = 2; },
    };
    const StitchOptions defaults;
    EXPECT_FALSE(matchingOptionsDiffer(defaults, defaults));
    for (const Change change : matching) {
        StitchOptions edited;
        change(edited);
        EXPECT_TRUE(matchingOptionsDiffer(defaults, edited));
    }
    for (const Change change : renderingOnly) {
        StitchOptions edited;
        change(edited);
        EXPECT_FALSE(matchingOptionsDiffer(defaults, edited));
    }
}

}  // namespace
}  // namespace vantorra
