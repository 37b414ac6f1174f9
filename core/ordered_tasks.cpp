#include "core/ordered_tasks.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace vantorra {

bool runInOrder(ThreadPool* pool, size_t count, size_t places,
                const std::function<void(size_t, int)>& produce, const std::function<bool(size_t)>& consume) {
    places = std::max<size_t>(places, 1);
    if (pool == nullptr) {
        for (size_t k = 0; k < count; ++k) {
            produce(k, 0);
            if (!consume(k)) return false;
        }
        return true;
    }
    std::unique_ptr<std::atomic<bool>[]> ready(new std::atomic<bool>[places]);
    for (size_t p = 0; p < places; ++p) ready[p].store(false);
    std::atomic<bool> stopped{false};
    std::atomic<size_t> taken{0};  // results consumed so far; only the calling thread moves it on
    auto takeReady = [&] {
        for (size_t next = taken.load(); !stopped.load() && next < count; next = taken.load()) {
            std::atomic<bool>& slot = ready[next % places];
            if (!slot.load(std::memory_order_acquire)) return;
            slot.store(false, std::memory_order_relaxed);
            bool more = false;
            try {
                more = consume(next);
            } catch (...) {  // tasks waiting for a slot must not wait for ever
                stopped = true;
                throw;
            }
            if (!more) stopped = true;  // before the slot is freed: nothing starts after a stop
            taken.store(next + 1, std::memory_order_release);  // its slot is free again
        }
    };
    auto task = [&](size_t k, int slot) {
        while (!stopped.load(std::memory_order_relaxed) && taken.load(std::memory_order_acquire) + places <= k) {
            if (slot == 0) takeReady();  // this thread is the one that frees slots
            std::this_thread::yield();
        }
        if (stopped.load(std::memory_order_relaxed)) return;
        try {
            produce(k, slot);
        } catch (...) {  // the results after this one will never be taken
            stopped = true;
            throw;
        }
        ready[k % places].store(true, std::memory_order_release);
    };
    pool->parallelFor(count, task, takeReady);
    takeReady();
    return !stopped.load();
}

}  // namespace vantorra
