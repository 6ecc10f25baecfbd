// Helpers for the worker-pool and strip-decode tests: gates that hold tasks, a thread starter
// that fails like a platform out of threads, and a bounded wait for identifiers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "parallel/worker_pool.h"

namespace framedec::testing {

// Tasks wait at a gate until the test opens it.
class Gate {
  public:
    void Open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        opened_.wait(lock, [this] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

// Opens the gates when a test ends, also after a failed assertion, so that a pool declared after
// the gates (and so destroyed before them) can join its workers.
struct OpenGatesOnExit {
    std::vector<Gate>& gates;
    ~OpenGatesOnExit() {
        for (Gate& gate : gates) gate.Open();
    }
};

// Starts the given number of workers, then refuses like a platform that is out of threads.
inline WorkerPool::ThreadStarter StarterThatFailsAfter(int successes) {
    auto started = std::make_shared<int>(0);
    return [started, successes](std::function<void()> loop) {
        if (*started == successes) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        ++*started;
        return std::thread(std::move(loop));
    };
}

// Polls until none of ids is pending; false after 30 seconds.
inline bool WaitUntilNonePending(WorkerPool& pool, const std::vector<std::string>& ids) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (pool.AnyPending(ids)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace framedec::testing
