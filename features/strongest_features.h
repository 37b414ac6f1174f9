#pragma once
// A photograph's features cut to its share of the memory budget: a run of many photographs keeps
// the strongest of each, so the features of all of them, matched at once, fit the budget.

#include <cstdint>

#include "features/arena_pools.h"
#include "features/feature.h"

namespace vantorra {

int32_t featureCount(const Feature* list);

// Keeps the `limit` features of `list` with the largest absolute contrast (equal ones: the
// earlier in the list), in their list order, and gives the pool-4 memory of the others back;
// `list` must be all that pool 4 allocated since `mark`. A limit of 0 or less, or a list no
// longer than it, comes back as it is. Sets `failed` when pool 4 runs out of memory.
Feature* keepStrongest(Feature* list, int32_t limit, PoolMark mark, bool& failed);

}  // namespace vantorra
