#pragma once
// A private set of the feature library's pools, lookup tables and blur buffers. The library
// works on the set bound to the calling thread, or on the program's own when none is bound, so
// features can be looked for on several threads at once, each thread with a workspace of its
// own. What is allocated while a workspace is bound (features included) lives until the
// workspace releases its pools, at the latest when it is destroyed.

#include <memory>

namespace vantorra {

namespace sift {
struct State;
}

class FeatureWorkspace {
public:
    FeatureWorkspace();
    ~FeatureWorkspace();
    FeatureWorkspace(const FeatureWorkspace&) = delete;
    FeatureWorkspace& operator=(const FeatureWorkspace&) = delete;
    FeatureWorkspace(FeatureWorkspace&&) noexcept;
    FeatureWorkspace& operator=(FeatureWorkspace&&) = delete;

    // Binds the workspace to the calling thread while it lives; the previous binding returns
    // after it.
    class Binding {
    public:
        explicit Binding(FeatureWorkspace& workspace);
        ~Binding();
        Binding(const Binding&) = delete;
        Binding& operator=(const Binding&) = delete;

    private:
        sift::State* previous_;
    };

    // Frees every pool of the workspace; its features become invalid.
    void release();

private:
    std::unique_ptr<sift::State> state_;
};

}  // namespace vantorra
