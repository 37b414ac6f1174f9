#include "pipeline/lens_groups.h"

#include <gtest/gtest.h>

namespace vantorra {
namespace {

// Photographs of one size share a lens, numbered by the first of them; unreadable ones (size 0)
// share nothing.
TEST(LensGroups, SameSizeSharesALens) {
    const std::vector<ImageSize> sizes{{1000, 750, 3}, {750, 1000, 3}, {1000, 750, 3}, {0, 0, 3}, {0, 0, 3}, {750, 1000, 3}};
    EXPECT_EQ(lensGroups(sizes), (std::vector<int32_t>{0, 1, 0, 3, 4, 1}));
    EXPECT_TRUE(lensGroups({}).empty());
}

// Where EXIF gives focal lengths, a zoom set at another length is another lens; an unknown focal
// length does not split a group.
TEST(LensGroups, KnownFocalLengthsMustAgree) {
    const std::vector<ImageSize> sizes(4, ImageSize{1000, 750, 3});
    EXPECT_EQ(lensGroups(sizes, {24.0f, 24.2f, 50.0f, 0.0f}), (std::vector<int32_t>{0, 0, 2, 0}));
}

}  // namespace
}  // namespace vantorra
