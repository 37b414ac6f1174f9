#pragma once
// Tasks whose results are taken in order on the calling thread as soon as each is ready, with a
// bound on how many wait: task k starts only once the result of task k - places has been taken,
// so a caller can keep results in `places` slots, task k's in slot k % places.

#include <cstddef>
#include <functional>

#include "core/thread_pool.h"

namespace vantorra {

// Runs produce(k, slot) for k in [0, count) on the pool's threads (slot names the thread, as in
// ThreadPool::parallelFor) and consume(k) on the calling thread for k = 0, 1, ... in order, each
// as soon as produce(k) has returned. No thread waits for another except to keep `places`
// (at least 1) results from waiting at once. consume returns false to stop: no task starts
// after that and the call returns false. An exception from either stops the rest (a task waiting
// for a slot gives up) and is rethrown. Without a pool everything runs here, one after another.
bool runInOrder(ThreadPool* pool, size_t count, size_t places,
                const std::function<void(size_t index, int slot)>& produce,
                const std::function<bool(size_t index)>& consume);

}  // namespace vantorra
