#pragma once
// The one random sequence of the program: a linear congruential generator whose state starts at
// 1 when the program starts and is never reseeded. Every stitch of one program run draws from the
// same continuing sequence, so the first stitch after start is repeatable.
//
// Work that draws a known number of values can be split among threads without changing a single
// draw: each part takes a RandomStream that starts where the sequence would stand when its turn
// came, and the program's sequence then skips everything the parts drew.

#include <cstdint>

namespace vantorra {

// Advances state = state * 214013 + 2531011 (mod 2^32) and returns (state >> 16) & 0x7FFF.
int32_t nextRandom();
// The current state, for checking the sequence; it cannot be set.
uint32_t randomState();

// The same generator from a state of its own.
class RandomStream {
public:
    explicit RandomStream(uint32_t state) : state_(state) {}
    int32_t next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int32_t>((state_ >> 16) & 0x7FFFu);
    }
    uint32_t state() const { return state_; }

private:
    uint32_t state_;
};

// The state after `draws` more draws from `state`, in O(log draws) steps.
uint32_t stateAfter(uint32_t state, uint64_t draws);
// A stream at the program's sequence `offset` draws from now; the sequence itself does not move.
RandomStream streamAhead(uint64_t offset);
// Moves the program's sequence on by `draws`, as if they had been drawn.
void skipRandom(uint64_t draws);

}  // namespace vantorra
