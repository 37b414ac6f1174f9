#include "features/lookup_tables.h"

#include <cmath>

#include "features/sift_state.h"

namespace vantorra {

void fillLookupTables() {
    sift::State& s = sift::state();
    if (s.expTable[0] != 0.0f) return;
    for (int j = 0; j < sift::kAtanTableSize; ++j)
        s.atanTable[j] = static_cast<float>(std::atan2((j + 0.5) / 100.0, 1.0));
    // Written last: a non-zero first entry tells later calls that both tables are ready.
    for (int i = sift::kExpTableSize - 1; i >= 0; --i)
        s.expTable[i] = static_cast<float>(std::exp(-(i + 0.5) / 100.0));
}

const float* expTable() { return sift::state().expTable; }

const float* atanTable() { return sift::state().atanTable; }

}  // namespace vantorra
