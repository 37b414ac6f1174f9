#include "features/arena_pools.h"

#include <gtest/gtest.h>

#include <sstream>

#include <cstdint>
#include <cstring>
#include <string>

#include "features/grey_raster.h"

namespace vantorra {
namespace {

// Pool 2 is unused by the library, so these tests own it.
constexpr int kTestPool = 2;

TEST(ArenaPools, CarvesAlignedAllocationsFromTheTopOfABlockDownward) {
    poolRelease(kTestPool);
    auto* first = static_cast<std::byte*>(poolAlloc(24, kTestPool));
    auto* second = static_cast<std::byte*>(poolAlloc(5, kTestPool));
    auto* third = static_cast<std::byte*>(poolAlloc(1, kTestPool));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(third, nullptr);
    // Each allocation lies just below the previous one, sizes rounded to keep doubles aligned.
    EXPECT_EQ(first - second, 8);
    EXPECT_EQ(second - third, 8);
    for (auto* p : {first, second, third}) EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
    poolRelease(kTestPool);
}

TEST(ArenaPools, OpensANewBlockWhenTheCurrentOneIsFullAndReleasesAllOfThem) {
    poolRelease(kTestPool);
    const int64_t before = poolHeapBytes();
    void* small = poolAlloc(16, kTestPool);
    const int64_t oneBlock = poolHeapBytes() - before;
    EXPECT_EQ(oneBlock, 2048);
    // Too big for what is left: a block of its own, sized to the request.
    void* large = poolAlloc(100000, kTestPool);
    ASSERT_NE(large, nullptr);
    EXPECT_GT(poolHeapBytes() - before, 100000);
    std::memset(large, 0x5a, 100000);  // the whole request is usable
    // Many small requests fill blocks and open new ones, never overlapping.
    uint32_t* previous = nullptr;
    for (uint32_t k = 0; k < 2000; ++k) {
        auto* p = static_cast<uint32_t*>(poolAlloc(sizeof(uint32_t), kTestPool));
        ASSERT_NE(p, nullptr);
        *p = k;
        if (previous != nullptr) {
            EXPECT_EQ(*previous, k - 1);
        }
        previous = p;
    }
    EXPECT_NE(small, nullptr);
    poolRelease(kTestPool);
    EXPECT_EQ(poolHeapBytes(), before);
}

// A rollback gives back exactly what was allocated after the mark, whether that stayed in the
// marked block or opened new ones, and what came before stays readable.
TEST(ArenaPools, RollbackGivesBackWhatCameAfterTheMark) {
    poolRelease(kTestPool);
    const int64_t empty = poolHeapBytes();
    const PoolMark start = poolMark(kTestPool);
    auto* early = static_cast<int64_t*>(poolAlloc(sizeof(int64_t), kTestPool));
    ASSERT_NE(early, nullptr);
    *early = 77;
    const PoolMark mark = poolMark(kTestPool);
    const int64_t atMark = poolHeapBytes();
    for (const int count : {1, 10, 500}) {  // within the block, a few blocks, many blocks
        SCOPED_TRACE(count);
        for (int k = 0; k < count; ++k) ASSERT_NE(poolAlloc(1000, kTestPool), nullptr);
        EXPECT_EQ(poolHeapBytes() > atMark, count > 1);
        poolRollback(kTestPool, mark);
        EXPECT_EQ(poolHeapBytes(), atMark);
        EXPECT_EQ(*early, 77);
        // The space after the mark is handed out again, from the same place.
        auto* again = static_cast<int64_t*>(poolAlloc(sizeof(int64_t), kTestPool));
        EXPECT_EQ(again, early - 1);
        poolRollback(kTestPool, mark);
    }
    poolRollback(kTestPool, start);  // a mark of an empty pool frees every block
    EXPECT_EQ(poolHeapBytes(), empty);
    poolRelease(kTestPool);
}

TEST(ArenaPools, ReleasingOnePoolLeavesTheOthersIntact) {
    poolRelease(kScratchPool);
    auto* kept = static_cast<double*>(poolAlloc(sizeof(double) * 1000, kFeaturePool));
    ASSERT_NE(kept, nullptr);
    for (int k = 0; k < 1000; ++k) kept[k] = k * 0.5;
    for (int round = 0; round < 3; ++round) {
        GreyRaster* scratch = allocGreyRaster(300, 400, kScratchPool);
        ASSERT_NE(scratch, nullptr);
        for (int r = 0; r < scratch->rows; ++r)
            for (int c = 0; c < scratch->cols; ++c) scratch->data[r][c] = -1.0f;
        poolRelease(kScratchPool);
    }
    for (int k = 0; k < 1000; ++k) ASSERT_EQ(kept[k], k * 0.5) << k;
    poolRelease(kFeaturePool);
}

TEST(ArenaPools, ExhaustedHeapIsLoggedAndReturnsNoMemory) {
    poolRelease(kTestPool);
    poolSetHeapLimit(poolHeapBytes() + 4096);
    std::ostringstream failures;
    std::ostream* before = poolSetFailureLog(&failures);
    void* fits = poolAlloc(1000, kTestPool);
    void* tooLarge = poolAlloc(10000, kTestPool);
    poolSetFailureLog(before);
    const std::string log = failures.str();
    poolSetHeapLimit(-1);
    EXPECT_NE(fits, nullptr);
    EXPECT_EQ(tooLarge, nullptr);
    EXPECT_EQ(log, "SIFT - Failed to allocate memory\n");
    // The pool is still usable: its current block was kept.
    EXPECT_NE(poolAlloc(8, kTestPool), nullptr);
    poolRelease(kTestPool);
}

TEST(ArenaPools, RejectsPoolNumbersOutsideZeroToFour) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(poolAlloc(8, 5), nullptr);
    EXPECT_EQ(poolAlloc(8, -1), nullptr);
    testing::internal::GetCapturedStdout();
    poolRelease(7);  // nothing to release, no crash
}

TEST(GreyRaster, RowPointersCoverTheWholeRaster) {
    GreyRaster* raster = allocGreyRaster(7, 13, kTestPool);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->rows, 7);
    EXPECT_EQ(raster->cols, 13);
    for (int r = 1; r < raster->rows; ++r) EXPECT_EQ(raster->data[r] - raster->data[r - 1], 13);
    raster->data[6][12] = 3.0f;
    EXPECT_EQ(raster->data[6][12], 3.0f);
    poolRelease(kTestPool);
}

}  // namespace
}  // namespace vantorra
