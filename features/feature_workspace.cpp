#include "features/feature_workspace.h"

#include "features/arena_pools.h"
#include "features/sift_state.h"

namespace vantorra {

FeatureWorkspace::FeatureWorkspace() : state_(std::make_unique<sift::State>()) {}

FeatureWorkspace::~FeatureWorkspace() { release(); }

FeatureWorkspace::FeatureWorkspace(FeatureWorkspace&&) noexcept = default;

void FeatureWorkspace::release() {
    if (state_ == nullptr) return;
    const Binding bound(*this);
    for (int pool = 0; pool < kPoolCount; ++pool) poolRelease(pool);
}

FeatureWorkspace::Binding::Binding(FeatureWorkspace& workspace)
    : previous_(sift::bindState(workspace.state_.get())) {}

FeatureWorkspace::Binding::~Binding() { sift::bindState(previous_); }

}  // namespace vantorra
