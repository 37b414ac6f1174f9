#pragma once
// The numbered arena pools of the feature library (features/pool_numbers.h). An image costs a
// handful of large allocations and one wholesale release instead of one heap allocation per
// raster or feature.

#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "features/pool_numbers.h"

namespace vantorra {

// `size` bytes (rounded up to a multiple of 8) carved from the top of the pool's current block,
// or from a new block of max(2048, size + 16) bytes when it has too little left (a block
// starts with the link to the previous block and its own size). Not zeroed.
// On heap exhaustion logs "SIFT - Failed to allocate memory" (see poolSetFailureLog) and returns
// nullptr.
void* poolAlloc(size_t size, int pool);
// Frees every block of the pool; everything allocated from it becomes invalid. Both work on the
// pools of the workspace bound to the calling thread (feature_workspace.h), or the program's.
void poolRelease(int pool);

// Where a pool's allocations stand; poolRollback frees everything allocated after it.
struct PoolMark {
    const std::byte* block = nullptr;
    size_t freeBytes = 0;
};
PoolMark poolMark(int pool);
// Gives back what the pool allocated since `mark` (taken from the same pool, which was not
// released in between): later blocks are freed, the marked block's space is reused.
void poolRollback(int pool, PoolMark mark);

// Where the pools of the calling thread's workspace (or the program's) log a failed allocation;
// nullptr, the default, logs nowhere. Returns the stream set before.
std::ostream* poolSetFailureLog(std::ostream* log);

// Bytes the pools currently hold from the heap, all pools of every workspace together.
int64_t poolHeapBytes();
// Caps poolHeapBytes(): a block that would exceed `bytes` is treated as a heap failure.
// A negative value removes the cap (the default). Lets tests exercise the failure path.
void poolSetHeapLimit(int64_t bytes);

}  // namespace vantorra
