#include "matching/random.h"

namespace vantorra {

namespace {
// Program-wide on purpose: verification must draw one continuing sequence across stitches.
uint32_t state = 1;
}  // namespace

int32_t nextRandom() {
    state = state * 214013u + 2531011u;
    return static_cast<int32_t>((state >> 16) & 0x7FFFu);
}

uint32_t randomState() { return state; }

}  // namespace vantorra
