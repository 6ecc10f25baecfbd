#include "frame_batch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace framedec::python {
namespace {

constexpr uint32_t kMostWorkers = 31;  // with the calling thread, the binding's limit of 32 threads

// One batch: its frames are claimed one at a time by whoever works on it.
struct Batch {
    std::size_t count = 0;
    const std::function<int32_t(std::size_t)>* decode = nullptr;
    std::atomic<std::size_t> next{0};
    std::atomic<int32_t> failure{0};
    uint32_t helpersWanted = 0;  // workers that may still join (under the pool's mutex)
    uint32_t helpersIn = 0;      // workers working on it now (under the pool's mutex)

    void Work() {
        for (std::size_t i = next++; i < count; i = next++) {
            if (const int32_t result = (*decode)(i); result != 0) {
                int32_t none = 0;
                failure.compare_exchange_strong(none, result);
            }
        }
    }
};

class BatchWorkers {
public:
    int32_t Run(Batch& batch, uint32_t helpers) {
        {
            std::lock_guard lock(mutex_);
            batch.helpersWanted = std::min(helpers, Start(helpers));
            if (batch.helpersWanted > 0) waiting_.push_back(&batch);
        }
        for (uint32_t i = 0; i < batch.helpersWanted; ++i) wake_.notify_one();
        batch.Work();
        std::unique_lock lock(mutex_);
        // Every frame is claimed: workers that have not joined yet need not.
        waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), &batch), waiting_.end());
        left_.wait(lock, [&] { return batch.helpersIn == 0; });
        return batch.failure.load();
    }

private:
    // Starts workers up to `wanted` (under the mutex); returns how many there are.
    uint32_t Start(uint32_t wanted) {
        while (workers_ < std::min(wanted, kMostWorkers)) {
            try {
                std::thread([this] { Serve(); }).detach();
            } catch (const std::system_error&) {
                break;
            }
            ++workers_;
        }
        return workers_;
    }

    void Serve() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return !waiting_.empty(); });
            Batch& batch = *waiting_.front();
            if (--batch.helpersWanted == 0) waiting_.pop_front();
            ++batch.helpersIn;
            lock.unlock();
            batch.Work();
            lock.lock();
            if (--batch.helpersIn == 0) left_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, left_;
    std::deque<Batch*> waiting_;  // batches that want more workers, oldest first
    uint32_t workers_ = 0;
};

// The workers are never joined: they sleep until the process ends, and a pool destroyed at exit
// could still be in use by a thread the interpreter has not stopped.
std::atomic<BatchWorkers*> workers{new BatchWorkers};

}  // namespace

int32_t ForEachFrame(std::size_t count, uint32_t threads, const std::function<int32_t(std::size_t)>& decode) {
    Batch batch;
    batch.count = count;
    batch.decode = &decode;
    const auto helpers = static_cast<uint32_t>(std::min<std::size_t>(threads, count)) - (count > 0 ? 1 : 0);
    if (helpers == 0 || threads <= 1) {
        batch.Work();
        return batch.failure.load();
    }
    return workers.load()->Run(batch, helpers);
}

void ForgetBatchWorkersAfterFork() { workers.store(new BatchWorkers); }  // the old one is left as it is

}  // namespace framedec::python
