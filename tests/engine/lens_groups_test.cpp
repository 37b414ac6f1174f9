#include "engine/lens_groups.h"

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

}  // namespace
}  // namespace vantorra
