#include "options/option_modes.h"

#include <gtest/gtest.h>

namespace vantorra {
namespace {

// Every listed value comes back as itself; anything else is refused, never read as a default.
template <typename Mode>
void expectCheckedRange(int32_t count) {
    for (int32_t v = -3; v < count + 3; ++v) {
        const std::optional<Mode> mode = modeFrom<Mode>(v);
        if (v >= 0 && v < count) {
            ASSERT_TRUE(mode.has_value()) << v;
            EXPECT_EQ(modeValue(*mode), v);
        } else {
            EXPECT_FALSE(mode.has_value()) << v;
        }
    }
}

TEST(OptionModes, ConversionsAreCheckedAndKeepTheStoredValues) {
    expectCheckedRange<SizeMode>(3);
    expectCheckedRange<ImageRotation>(4);
    expectCheckedRange<SiftSizeMode>(2);
    expectCheckedRange<DetectorMode>(3);
    // The values the dialog's lists and stored settings rely on.
    EXPECT_EQ(modeValue(ImageRotation::UpsideDown), 3);
    EXPECT_EQ(modeValue(SizeMode::Scale), 2);
    EXPECT_EQ(modeValue(DetectorMode::AsIs), 2);
}

}  // namespace
}  // namespace vantorra
