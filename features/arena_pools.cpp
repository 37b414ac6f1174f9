#include "features/arena_pools.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "features/sift_state.h"

namespace vantorra {

namespace {

// Each block starts with the pointer to the previous block of its pool (8 bytes on a 64-bit
// machine, hence not 4) and its own size, then the free space. Sizes are kept in multiples of 8
// so that the doubles and pointers of a Feature stay aligned.
constexpr size_t kLinkBytes = sizeof(std::byte*);
constexpr size_t kMinBlockBytes = 2048;
constexpr size_t kGranule = 8;

size_t blockBytes(const std::byte* block) {
    size_t bytes = 0;
    std::memcpy(&bytes, block + kLinkBytes, sizeof bytes);
    return bytes;
}

// A block remembers its own size (just after the link) so the heap budget can be given back.
constexpr size_t kHeaderBytes = kLinkBytes + sizeof(size_t);

bool validPool(int pool) { return pool >= 0 && pool < kPoolCount; }

// What the pools of every state hold together, and its cap: threads take blocks at once.
std::atomic<int64_t> heapBytes{0};
std::atomic<int64_t> heapLimit{-1};

// Counts `bytes` against the cap; false (and nothing counted) when they would exceed it.
bool takeHeapBytes(size_t bytes) {
    const int64_t amount = static_cast<int64_t>(bytes);
    const int64_t total = heapBytes.fetch_add(amount) + amount;
    const int64_t limit = heapLimit.load();
    if (limit >= 0 && total > limit) {
        heapBytes.fetch_sub(amount);
        return false;
    }
    return true;
}

void reportFailure(const sift::State& s) {
    if (!s.quietFailures && s.failureLog != nullptr) *s.failureLog << "SIFT - Failed to allocate memory" << std::endl;
}

}  // namespace

void* poolAlloc(size_t size, int pool) {
    sift::State& s = sift::state();
    if (!validPool(pool) || size > (SIZE_MAX >> 2)) {
        reportFailure(s);
        return nullptr;
    }
    sift::PoolState& p = s.pools[pool];
    size = (size + kGranule - 1) / kGranule * kGranule;
    if (p.current == nullptr || p.freeBytes < size) {
        const size_t bytes = std::max(kMinBlockBytes, size + kHeaderBytes);
        if (!takeHeapBytes(bytes)) {
            reportFailure(s);
            return nullptr;
        }
        auto* block = static_cast<std::byte*>(std::malloc(bytes));
        if (block == nullptr) {
            heapBytes.fetch_sub(static_cast<int64_t>(bytes));
            reportFailure(s);
            return nullptr;
        }
        std::memcpy(block, &p.current, kLinkBytes);
        std::memcpy(block + kLinkBytes, &bytes, sizeof bytes);
        p.current = block;
        p.freeBytes = bytes - kHeaderBytes;
    }
    p.freeBytes -= size;
    return p.current + kHeaderBytes + p.freeBytes;
}

void poolRelease(int pool) {
    if (!validPool(pool)) return;
    sift::State& s = sift::state();
    sift::PoolState& p = s.pools[pool];
    while (p.current != nullptr) {
        std::byte* previous = nullptr;
        std::memcpy(&previous, p.current, kLinkBytes);
        heapBytes.fetch_sub(static_cast<int64_t>(blockBytes(p.current)));
        std::free(p.current);
        p.current = previous;
    }
    p.freeBytes = 0;
    if (pool == kPermanentPool) {
        s.columns = {};
        s.row = {};
    }
}

PoolMark poolMark(int pool) {
    if (!validPool(pool)) return {};
    const sift::PoolState& p = sift::state().pools[pool];
    return {p.current, p.freeBytes};
}

void poolRollback(int pool, PoolMark mark) {
    if (!validPool(pool)) return;
    sift::State& s = sift::state();
    sift::PoolState& p = s.pools[pool];
    while (p.current != nullptr && p.current != mark.block) {
        std::byte* previous = nullptr;
        std::memcpy(&previous, p.current, kLinkBytes);
        heapBytes.fetch_sub(static_cast<int64_t>(blockBytes(p.current)));
        std::free(p.current);
        p.current = previous;
    }
    p.freeBytes = p.current != nullptr ? mark.freeBytes : 0;
}

int64_t poolHeapBytes() { return heapBytes.load(); }

void poolSetHeapLimit(int64_t bytes) { heapLimit.store(bytes); }

std::ostream* poolSetFailureLog(std::ostream* log) {
    sift::State& s = sift::state();
    std::ostream* before = s.failureLog;
    s.failureLog = log;
    return before;
}

}  // namespace vantorra
