#include "matching/random.h"

namespace vantorra {

namespace {
constexpr uint32_t kMultiplier = 214013u;
constexpr uint32_t kIncrement = 2531011u;
}  // namespace

uint32_t stateAfter(uint32_t from, uint64_t draws) {
    // One step is x -> a x + c; 2^k steps compose into x -> A x + C, squared up bit by bit.
    uint32_t a = kMultiplier, c = kIncrement;
    uint32_t totalA = 1, totalC = 0;
    for (; draws > 0; draws >>= 1) {
        if (draws & 1u) {
            totalA *= a;
            totalC = totalC * a + c;
        }
        c = c * (a + 1u);
        a *= a;
    }
    return from * totalA + totalC;
}

RandomStream RandomStream::ahead(uint64_t offset) const { return RandomStream(stateAfter(state_, offset)); }

void RandomStream::skip(uint64_t draws) { state_ = stateAfter(state_, draws); }

}  // namespace vantorra
