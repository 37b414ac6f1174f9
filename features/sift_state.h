#pragma once
// Internal: the module-level state of the feature library (see sift_state.cpp for why it exists).

#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "features/pool_numbers.h"

namespace vantorra::sift {

constexpr int kExpTableSize = 1000;
constexpr int kAtanTableSize = 101;

struct PoolState {
    std::byte* current = nullptr;  // newest block; its first 8 bytes link to the previous one
    size_t freeBytes = 0;          // free bytes of the current block, below the allocations
};

struct ColumnBuffers {
    float* values = nullptr;  // a ring of the rows the column blur still reads, row after row
    size_t length = 0;        // floats
};

struct RowBuffer {
    float* values = nullptr;
    size_t length = 0;
};

struct State {
    PoolState pools[kPoolCount];
    // Where a failed allocation is logged (nowhere when null). While quietFailures is set it is
    // not logged here: the caller logs it in its own order.
    std::ostream* failureLog = nullptr;
    bool quietFailures = false;
    float expTable[kExpTableSize] = {};
    float atanTable[kAtanTableSize] = {};
    ColumnBuffers columns;
    RowBuffer row;
};

// The state bound to the calling thread, or the program's own when none is bound.
State& state();
// Binds `bound` (null: the program's own) to the calling thread; returns what was bound before.
State* bindState(State* bound);

}  // namespace vantorra::sift
