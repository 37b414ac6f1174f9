#pragma once
// The random sequence of verification: a linear congruential generator. Work that draws a known
// number of values can be split among threads without changing a single draw: each part takes a
// stream that starts where the sequence would stand when its turn came, and the sequence then
// skips everything the parts drew.

#include <cstdint>

namespace vantorra {

// The generator from a state of its own. A run verifies its pairs from a sequence of its own that
// starts at state 1, so every run of the same photographs draws the same values.
class RandomStream {
public:
    explicit RandomStream(uint32_t state = 1) : state_(state) {}
    // Advances state = state * 214013 + 2531011 (mod 2^32) and returns (state >> 16) & 0x7FFF.
    int32_t next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int32_t>((state_ >> 16) & 0x7FFFu);
    }
    uint32_t state() const { return state_; }
    // A stream at `offset` draws from here on; this one does not move.
    RandomStream ahead(uint64_t offset) const;
    // Moves on by `draws`, as if they had been drawn.
    void skip(uint64_t draws);

private:
    uint32_t state_;
};

// The state after `draws` more draws from `state`, in O(log draws) steps.
uint32_t stateAfter(uint32_t state, uint64_t draws);

}  // namespace vantorra
