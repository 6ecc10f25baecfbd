// The process-wide pool of worker threads. It runs queued tasks first in, first out, and gives each
// task a text identifier: a submitter learns that its tasks have finished by asking whether their
// identifiers are still pending. There is no per-task completion signal.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace framedec {

// One queue entry. The callable carries copies of everything it needs.
struct PoolTask {
    std::string id;
    std::function<void()> run;
    const void* submitter = nullptr;  // whose task it is, for TakeBack
};

class WorkerPool {
  public:
    // Fixed, whatever the processor count, so no thread is created while frames are decoded.
    static constexpr uint32_t kWorkerCount = 32;

    // Starts a thread running the given worker loop (tests pass one that fails).
    using ThreadStarter = std::function<std::thread(std::function<void()>)>;

    // The process's pool: the first call constructs it and starts its workers; concurrent first
    // calls construct it once. It shuts down at library unload or process exit, and is freed then
    // unless a Hold still has it; it is not to be used after that except through a Hold. (Where
    // the workers no longer exist at that point, it is left as it is: see pool_platform.h.)
    static WorkerPool& Instance();

    // The process's pool for the length of one call, created on first use like Instance(). Once
    // the pool has shut down (an exit handler or a thread still calling while the process exits)
    // a hold has no pool, and the caller does the work itself; a pool that shuts down while held
    // stays allocated, so the holder can still ask it what ran.
    class Hold {
      public:
        Hold();
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        WorkerPool* pool() const { return held; }

      private:
        WorkerPool* held = nullptr;
    };

    // The library only uses Instance(); tests build private pools with fewer workers or with a
    // starter that fails. Starting stops at the first worker that cannot be started, and the pool
    // then works with the workers it has, possibly none. Never throws.
    explicit WorkerPool(uint32_t workerCount = kWorkerCount, const ThreadStarter& startThread = StartThread);

    // Shuts down (see Shutdown).
    ~WorkerPool();

    // Wakes every worker, lets running tasks finish, joins the workers in start order and destroys
    // the tasks still queued without running them; their identifiers stay pending. Later
    // submissions are refused. Calling it again does nothing.
    void Shutdown();

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues run and returns its new identifier, pending from now until run has returned. Throws,
    // leaving nothing queued, when the task cannot be queued: std::bad_alloc, or std::runtime_error
    // when the pool has no worker, is shutting down, or belongs to the parent of a forked process
    // (whose workers do not exist in the child): the task would never run.
    std::string Submit(std::function<void()> run);

    // Queues runs[0], runs[1], ... as tasks in this order and writes their new identifiers to ids
    // (as long as runs), all under one acquisition of the lock, then wakes one worker per task, but
    // fewer workers than there are processors: a batch of submissions without a lock round trip
    // for each (so the tasks of one batch must not wait for each other). All are queued or, when
    // one cannot be (for the reasons Submit throws), none: the exception propagates and nothing is
    // pending. submitter, any address that is the caller's own while its tasks may be queued,
    // marks the tasks for TakeBack.
    void SubmitAll(std::span<std::function<void()>> runs, std::span<std::string> ids, const void* submitter = nullptr);

    // Takes the most recently queued task of submitter that no worker has started back out of the
    // queue, for the caller to run itself: its identifier is no longer pending. An empty function
    // when none is queued. A submitter that waits for its tasks this way never depends on a worker
    // starting (none can while the Windows loader lock is held).
    std::function<void()> TakeBack(const void* submitter);

    // Whether any of ids is still pending (queued or running). False for an empty list.
    bool AnyPending(std::span<const std::string> ids);

    // How many of ids are pending and whether Shutdown has joined the workers, under one lock.
    // Once stopped, no task runs any more: an identifier still pending belongs to a task that was
    // dropped and will never run.
    struct PendingState {
        uint32_t pendingCount;
        bool stopped;
    };
    PendingState CheckPending(std::span<const std::string> ids);

    // A count that moves on by one whenever a task has finished (its identifier is no longer
    // pending), and by kStopStep when the pool has stopped. A waiter whose CheckPending found n of
    // its tasks pending knows they cannot all be done before the count has moved on by n since it
    // read it before asking, and need not take the lock to ask again until then.
    static constexpr uint64_t kStopStep = uint64_t{1} << 32;  // what the stop adds to the count
    uint64_t FinishedCount() const { return finished.load(std::memory_order_acquire); }

    std::size_t WorkerCount() const { return workers.size(); }

  private:
    static std::thread StartThread(std::function<void()> loop);
    void RunWorker();
    bool InForkedChild() const;

    std::mutex mutex;                    // guards queue, pendingIds, stopping and stopped
    std::condition_variable wakeWorkers; // idle workers sleep here
    std::deque<PoolTask> queue;
    std::set<std::string> pendingIds;    // queued or running
    bool stopping = false;
    bool stopped = false;                // the workers are joined
    uint32_t busyWorkers = 0;            // workers running a task
    // The most workers a batch wakes, or keeps waking (see SubmitAll): one fewer than there are
    // processors (at least one), as the submitter decodes too: its last strip, then those of its
    // strips that no worker has started.
    const uint32_t wakeLimit = std::max(2u, std::thread::hardware_concurrency()) - 1;
    std::atomic<uint64_t> finished{0};   // tasks finished, plus kStopStep when stopped
    std::vector<std::thread> workers;    // in start order; written only by the constructor
    long ownerProcess;                   // the process that started the workers
};

}  // namespace framedec
