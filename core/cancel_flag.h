#pragma once
// A request to stop the current run. Set from any thread, or from a signal handler (the flag is a
// lock-free atomic); the engine reads it at each progress report and unwinds.

#include <atomic>

namespace vantorra {

class CancelFlag {
public:
    void request() noexcept { requested_.store(true, std::memory_order_relaxed); }
    void clear() noexcept { requested_.store(false, std::memory_order_relaxed); }
    bool requested() const noexcept { return requested_.load(std::memory_order_relaxed); }

private:
    static_assert(std::atomic<bool>::is_always_lock_free, "signal handlers may set the flag");
    std::atomic<bool> requested_{false};
};

}  // namespace vantorra
