#include "core/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/row_ranges.h"

namespace vantorra {
namespace {

TEST(ThreadPool, EveryIndexRunsOnceOnAValidSlotAndPollStaysOnTheCaller) {
    for (const int threads : {1, 2, 4}) {
        ThreadPool pool(threads);
        ASSERT_EQ(pool.size(), threads);
        for (const size_t count : {size_t{0}, size_t{1}, size_t{7}, size_t{1000}}) {
            std::vector<std::atomic<int>> runs(count);
            std::atomic<bool> badSlot{false};
            const std::thread::id caller = std::this_thread::get_id();
            bool pollElsewhere = false;
            pool.parallelFor(
                count,
                [&](size_t i, int slot) {
                    if (slot < 0 || slot >= threads) badSlot = true;
                    if ((slot == 0) != (std::this_thread::get_id() == caller)) badSlot = true;
                    runs[i].fetch_add(1);
                },
                [&] { pollElsewhere = pollElsewhere || std::this_thread::get_id() != caller; });
            for (size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i].load(), 1) << threads << " " << i;
            EXPECT_FALSE(badSlot);
            EXPECT_FALSE(pollElsewhere);
        }
    }
}

TEST(ThreadPool, AThrowingTaskOrPollStopsTheLoopAndRethrowsOnTheCaller) {
    ThreadPool pool(3);
    // Tasks that take a moment, so every thread, the caller too, gets some.
    auto work = [] { std::this_thread::sleep_for(std::chrono::microseconds(50)); };
    std::atomic<int> ran{0};
    EXPECT_THROW(pool.parallelFor(10000,
                                  [&](size_t i, int) {
                                      work();
                                      ran.fetch_add(1);
                                      if (i == 5) throw std::runtime_error("task");
                                  }),
                 std::runtime_error);
    EXPECT_LT(ran.load(), 10000);  // no new task started after the failure was seen
    int polls = 0;
    EXPECT_THROW(pool.parallelFor(
                     10000, [&](size_t, int) { work(); },
                     [&] {
                         if (++polls == 2) throw std::logic_error("cancelled");
                     }),
                 std::logic_error);
    // The pool is still usable afterwards.
    std::atomic<int> after{0};
    pool.parallelFor(50, [&](size_t, int) { after.fetch_add(1); });
    EXPECT_EQ(after.load(), 50);
}

TEST(RowRanges, RangesCoverEveryRowExactlyOnce) {
    ThreadPool pool(4);
    for (ThreadPool* p : {static_cast<ThreadPool*>(nullptr), &pool})
        for (const int rows : {0, 1, 15, 16, 17, 1000}) {
            std::vector<std::atomic<int>> seen(static_cast<size_t>(rows));
            forRowRanges(p, rows, [&](int first, int end, int) {
                EXPECT_LT(first, end);
                for (int r = first; r < end; ++r) seen[static_cast<size_t>(r)].fetch_add(1);
            });
            for (int r = 0; r < rows; ++r) EXPECT_EQ(seen[static_cast<size_t>(r)].load(), 1) << rows;
        }
}

// Loops that follow each other at once (a worker still looking for the next), after a pause
// longer than it looks (the worker asleep), and a pool closed while a worker looks: every index
// runs once each time, and closing does not wait on the look-ahead.
TEST(ThreadPool, LoopsRunWhetherTheWorkersLookAheadOrSleep) {
    ThreadPool pool(3);
    std::vector<std::atomic<int>> runs(64);
    for (int loop = 0; loop < 200; ++loop) {
        if (loop % 50 == 49) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        pool.parallelFor(runs.size(), [&](size_t i, int) { runs[i].fetch_add(1); });
    }
    for (const std::atomic<int>& r : runs) EXPECT_EQ(r.load(), 200);
    const auto start = std::chrono::steady_clock::now();
    {
        ThreadPool closing(2);
        closing.parallelFor(4, [](size_t, int) {});
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// Clearing a range of rows at a time leaves no stale sample, for any split.
TEST(RowRanges, ClearRowsZeroesEverySample) {
    for (const int threads : {1, 3}) {
        ThreadPool pool(threads);
        FloatImage image(37, 11, 3);
        for (float& v : image.data) v = 7.5f;
        image.reshape(53, 9, 3);  // larger: new storage, samples not set
        for (float& v : image.data) v = -1.0f;
        clearRows(image, &pool);
        for (const float v : image.data) ASSERT_EQ(v, 0.0f);
        image.data.assign(image.data.size(), 2.0f);
        clearRows(image, nullptr);
        for (const float v : image.data) ASSERT_EQ(v, 0.0f);
    }
}

}  // namespace
}  // namespace vantorra
