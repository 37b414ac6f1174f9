#pragma once
// Splitting a loop over rows into ranges that run on a thread pool. Every row is computed by the
// same operations whichever range or thread it falls to, so the result does not depend on the
// number of threads.

#include <functional>

#include "core/image.h"
#include "core/thread_pool.h"

namespace vantorra {

// Calls body(first, end, slot) for consecutive ranges [first, end) covering [0, rows); in
// parallel on `pool` when there is one and the rows are worth splitting, else at once on the
// calling thread with slot 0.
void forRowRanges(ThreadPool* pool, int rows, const std::function<void(int first, int end, int slot)>& body);

// Sets every sample of `image` to 0, a range of rows at a time on `pool`: a large image's pages
// are then first touched by all the threads instead of the calling one alone.
void clearRows(FloatImage& image, ThreadPool* pool);

}  // namespace vantorra
