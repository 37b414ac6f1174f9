#include "core/thread_pool.h"

#include <algorithm>
#include <chrono>

namespace vantorra {

int ThreadPool::coreCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

ThreadPool::ThreadPool(int threads) {
    const int total = std::max(1, threads > 0 ? threads : coreCount());
    workers_.reserve(static_cast<size_t>(total - 1));
    for (int slot = 1; slot < total; ++slot) workers_.emplace_back([this, slot] { workerLoop(slot); });
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

bool ThreadPool::take(size_t& index) {
    if (stopping_ || task_ == nullptr || next_ >= count_) return false;
    index = next_++;
    ++running_;
    return true;
}

void ThreadPool::finishTask(std::exception_ptr failure) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --running_;
        ++finished_;
        if (failure && !failure_) {
            failure_ = failure;
            stopping_ = true;
        }
    }
    done_.notify_all();
}

namespace {

// How long a worker that finished its part of a loop looks for the next loop before it sleeps.
// A render runs many loops of a few hundred microseconds back to back, with moments of work on
// the calling thread between them; waking a sleeping thread takes tens of microseconds or more,
// long enough for the calling thread to take most of a short loop alone.
constexpr auto kLookAhead = std::chrono::microseconds(200);

}  // namespace

void ThreadPool::workerLoop(int slot) {
    unsigned seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!closing_ && generation_.load(std::memory_order_relaxed) == seen) {
            lock.unlock();
            const auto until = std::chrono::steady_clock::now() + kLookAhead;
            while (generation_.load(std::memory_order_relaxed) == seen && std::chrono::steady_clock::now() < until)
                std::this_thread::yield();
            lock.lock();
        }
        wake_.wait(lock, [&] { return closing_ || (generation_ != seen && task_ != nullptr); });
        if (closing_) return;
        size_t index = 0;
        while (take(index)) {
            const std::function<void(size_t, int)>& task = *task_;
            lock.unlock();
            std::exception_ptr failure;
            try {
                task(index, slot);
            } catch (...) {
                failure = std::current_exception();
            }
            finishTask(failure);
            lock.lock();
        }
        seen = generation_;
    }
}

void ThreadPool::parallelFor(size_t count, const std::function<void(size_t, int)>& task,
                             const std::function<void()>& poll) {
    if (count == 0) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        task_ = &task;
        next_ = 0;
        count_ = count;
        running_ = finished_ = 0;
        stopping_ = false;
        failure_ = nullptr;
        ++generation_;
    }
    wake_.notify_all();

    auto stop = [&](std::exception_ptr failure) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = failure;
        stopping_ = true;
    };
    std::unique_lock<std::mutex> lock(mutex_);
    size_t seenFinished = 0;
    for (;;) {
        size_t index = 0;
        if (take(index)) {
            lock.unlock();
            std::exception_ptr failure;
            try {
                task(index, 0);
            } catch (...) {
                failure = std::current_exception();
            }
            finishTask(failure);
        } else if (running_ > 0 || (!stopping_ && next_ < count_)) {
            done_.wait(lock, [&] { return finished_ != seenFinished || (running_ == 0 && next_ >= count_); });
            lock.unlock();
        } else {
            break;
        }
        // Between tasks the calling thread reports; a report that throws (a cancelled run)
        // stops the loop like a failing task.
        if (poll) {
            try {
                poll();
            } catch (...) {
                stop(std::current_exception());
            }
        }
        lock.lock();
        seenFinished = finished_;
    }
    task_ = nullptr;
    const std::exception_ptr failure = failure_;
    failure_ = nullptr;
    lock.unlock();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace vantorra
