#include "features/sift_state.h"

namespace vantorra::sift {

namespace {
thread_local State* boundState = nullptr;
}  // namespace

// The feature library keeps its pools, lookup tables and blur buffers at module level on
// purpose: its pools are released wholesale between images and stages, and the tables and
// pool-0 buffers are built once and reused. Keeping all of that in one object makes the state
// explicit; a thread that looks for features beside others binds a State of its own
// (FeatureWorkspace), and every other caller shares the program's.
State& state() {
    static State instance;
    return boundState != nullptr ? *boundState : instance;
}

State* bindState(State* bound) {
    State* previous = boundState;
    boundState = bound;
    return previous;
}

}  // namespace vantorra::sift
