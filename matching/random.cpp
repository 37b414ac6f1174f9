#include "matching/random.h"

namespace vantorra {

namespace {
// Program-wide on purpose: verification must draw one continuing sequence across stitches.
uint32_t state = 1;
constexpr uint32_t kMultiplier = 214013u;
constexpr uint32_t kIncrement = 2531011u;
}  // namespace

int32_t nextRandom() {
    state = state * kMultiplier + kIncrement;
    return static_cast<int32_t>((state >> 16) & 0x7FFFu);
}

uint32_t randomState() { return state; }

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

RandomStream streamAhead(uint64_t offset) { return RandomStream(stateAfter(state, offset)); }

void skipRandom(uint64_t draws) { state = stateAfter(state, draws); }

}  // namespace vantorra
