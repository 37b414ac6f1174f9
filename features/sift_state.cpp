#include "features/sift_state.h"

namespace vantorra::sift {

// The feature library keeps its pools, lookup tables and blur buffers at module level on
// purpose: it is called once per image from the single matching thread, its pools are released
// wholesale between images and stages, and the tables and pool-0 buffers are built once for the
// whole program. Keeping all of that in this one object makes the non-reentrancy explicit.
State& state() {
    static State instance;
    return instance;
}

}  // namespace vantorra::sift
