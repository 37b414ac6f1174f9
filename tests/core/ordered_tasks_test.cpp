// Ordered tasks: results are taken in order as soon as each is ready, never more than `places`
// wait, and a stop or an exception on either side ends the call without leaving a thread waiting
// for a slot that will never be freed.

#include "core/ordered_tasks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vantorra {
namespace {

using std::chrono::milliseconds;

// Uneven work: task k takes (k * 7) % 5 milliseconds.
void unevenWork(size_t k) { std::this_thread::sleep_for(milliseconds((k * 7) % 5)); }

TEST(OrderedTasks, ResultsAreTakenInOrderAndFewWaitAtOnce) {
    for (const int threads : {1, 2, 4}) {
        for (const size_t places : {1u, 3u, 8u}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, " << places << " places");
            ThreadPool pool(threads);
            const size_t count = 40;
            std::vector<int> slots(places, -1);  // which task's result each slot holds
            std::atomic<int> waiting{0}, mostWaiting{0};
            std::vector<size_t> order;
            const bool finished = runInOrder(
                &pool, count, places,
                [&](size_t k, int) {
                    unevenWork(k);
                    slots[k % places] = static_cast<int>(k);  // a slot still in use would be overwritten
                    const int now = ++waiting;
                    for (int most = mostWaiting.load(); now > most && !mostWaiting.compare_exchange_weak(most, now);) {
                    }
                },
                [&](size_t k) {
                    EXPECT_EQ(slots[k % places], static_cast<int>(k));
                    --waiting;
                    order.push_back(k);
                    return true;
                });
            EXPECT_TRUE(finished);
            ASSERT_EQ(order.size(), count);
            for (size_t k = 0; k < count; ++k) EXPECT_EQ(order[k], k);
            EXPECT_LE(mostWaiting.load(), static_cast<int>(places));
        }
    }
    // Without a pool: produce and consume alternate.
    std::vector<int> trace;
    EXPECT_TRUE(runInOrder(nullptr, 3, 2, [&](size_t k, int) { trace.push_back(static_cast<int>(k)); },
                           [&](size_t k) { trace.push_back(-static_cast<int>(k) - 1); return true; }));
    EXPECT_EQ(trace, (std::vector<int>{0, -1, 1, -2, 2, -3}));
}

TEST(OrderedTasks, AStopStartsNoFurtherTask) {
    ThreadPool pool(2);
    std::atomic<size_t> started{0}, highest{0};
    std::vector<size_t> taken;
    const bool finished = runInOrder(
        &pool, 100, 2,
        [&](size_t k, int) {
            ++started;
            for (size_t h = highest.load(); k > h && !highest.compare_exchange_weak(h, k);) {
            }
            unevenWork(k);
        },
        [&](size_t k) {
            taken.push_back(k);
            return k < 5;
        });
    EXPECT_FALSE(finished);
    EXPECT_EQ(taken, (std::vector<size_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_LE(highest.load(), 6u);  // task k waits for the result of k - 2 to be taken
    EXPECT_LE(started.load(), 7u);
}

TEST(OrderedTasks, AnExceptionOnEitherSideEndsTheCallWithoutAHang) {
    for (const bool inConsume : {true, false}) {
        SCOPED_TRACE(inConsume ? "consume throws" : "produce throws");
        ThreadPool pool(4);
        // Task 0 is slow, so the other threads are soon waiting for slots when the exception comes.
        auto produce = [&](size_t k, int) {
            std::this_thread::sleep_for(milliseconds(k == 0 ? 30 : 1));
            if (!inConsume && k == 0) throw std::runtime_error("produce");
        };
        auto consume = [&](size_t k) -> bool {
            if (inConsume && k == 0) throw std::runtime_error("consume");
            return true;
        };
        EXPECT_THROW(runInOrder(&pool, 50, 2, produce, consume), std::runtime_error);
        // The pool is usable afterwards.
        std::atomic<int> ran{0};
        pool.parallelFor(8, [&](size_t, int) { ++ran; });
        EXPECT_EQ(ran.load(), 8);
    }
}

}  // namespace
}  // namespace vantorra
