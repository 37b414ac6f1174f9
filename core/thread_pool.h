#pragma once
// A fixed set of worker threads for the loops of one run. The calling thread takes part in the
// work and is the only one that runs `poll`, so progress reports and window updates stay on it.
// Each task writes only its own results, which keeps the outcome independent of the number of
// threads and of the order in which tasks finish.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vantorra {

class ThreadPool {
public:
    // `threads` in all, the calling thread included; 0 means one per core. At least 1.
    explicit ThreadPool(int threads = 0);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    int size() const { return static_cast<int>(workers_.size()) + 1; }

    // Runs task(index, slot) for every index in [0, count); slot in [0, size()) names the thread
    // running it (0 is the calling thread), for per-thread scratch. `poll` runs on the calling
    // thread after each task it runs and whenever another task finishes. When a task or `poll`
    // throws, no new task starts; the call waits for the running ones and rethrows the first.
    void parallelFor(size_t count, const std::function<void(size_t index, int slot)>& task,
                     const std::function<void()>& poll = {});

    // The thread count that 0 stands for.
    static int coreCount();

private:
    void workerLoop(int slot);
    // Takes the next index of the current loop; false when none is left or the loop stopped.
    bool take(size_t& index);
    void finishTask(std::exception_ptr failure);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;  // workers: a loop started, or the pool closes
    std::condition_variable done_;  // caller: a task finished
    const std::function<void(size_t, int)>* task_ = nullptr;
    size_t next_ = 0, count_ = 0, running_ = 0, finished_ = 0;
    std::atomic<unsigned> generation_{0};  // also read without the lock by a waiting worker
    bool stopping_ = false;  // the current loop takes no new task
    bool closing_ = false;
    std::exception_ptr failure_;
};

}  // namespace vantorra
