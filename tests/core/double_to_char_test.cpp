#include "core/double_to_char.h"

#include <gtest/gtest.h>

#include <limits>

namespace vantorra {
namespace {

TEST(DoubleToChar, KeepsEveryDecimal) {
    struct Case {
        double value;
        int decimals;
        const char* text;
    };
    const Case cases[] = {
        {0.25, 2, "0.25"},   {1.0, 2, "1.00"},       {0.1, 2, "0.10"},   {2.0, 2, "2.00"},
        {0.0, 2, "0.00"},    {0.05, 2, "0.05"},      {0.001, 2, "0.00"}, {0.999, 2, "1.00"},
        {123.456, 2, "123.46"}, {-0.25, 2, "-0.25"}, {-3.5, 2, "-3.50"}, {-0.05, 2, "-0.05"},
        {2.0 / 3.0, 3, "0.667"}, {3.0, 0, "3."},    {0.25, 0, "0."},    {1e20, 1, "100000000000000000000.0"},
    };
    for (const Case& c : cases) EXPECT_EQ(double_to_char(c.value, c.decimals), c.text) << c.value << " " << c.decimals;
}

TEST(DoubleToChar, NonFiniteValuesAreNamed) {
    EXPECT_EQ(double_to_char(std::numeric_limits<double>::infinity(), 2), "inf");
    EXPECT_EQ(double_to_char(-std::numeric_limits<double>::infinity(), 2), "-inf");
    EXPECT_EQ(double_to_char(std::numeric_limits<double>::quiet_NaN(), 2), "nan");
}

}  // namespace
}  // namespace vantorra
