// The process-wide pool of worker threads. It runs queued tasks first in, first out, and gives each
// task a text identifier: a submitter learns that its tasks have finished by asking whether their
// identifiers are still pending. There is no per-task completion signal.
#pragma once

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
};

class WorkerPool {
  public:
    // Fixed, whatever the processor count, so no thread is created while frames are decoded.
    static constexpr uint32_t kWorkerCount = 32;

    // Starts a thread running the given worker loop (tests pass one that fails).
    using ThreadStarter = std::function<std::thread(std::function<void()>)>;

    // The process's pool: the first call constructs it and starts its workers; concurrent first
    // calls construct it once. It shuts down at library unload or process exit.
    static WorkerPool& Instance();

    // The library only uses Instance(); tests build private pools with fewer workers or with a
    // starter that fails. Starting stops at the first worker that cannot be started, and the pool
    // then works with the workers it has, possibly none. Never throws.
    explicit WorkerPool(uint32_t workerCount = kWorkerCount, const ThreadStarter& startThread = StartThread);

    // Shutdown: wakes every worker, lets running tasks finish, joins the workers in start order and
    // destroys the tasks still queued without running them.
    ~WorkerPool();

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues run and returns its new identifier, pending from now until run has returned. Throws,
    // leaving nothing queued, when the task cannot be queued: std::bad_alloc, or std::runtime_error
    // when the pool has no worker, is shutting down, or belongs to the parent of a forked process
    // (whose workers do not exist in the child): the task would never run.
    std::string Submit(std::function<void()> run);

    // Whether any of ids is still pending (queued or running). False for an empty list.
    bool AnyPending(std::span<const std::string> ids);

    std::size_t WorkerCount() const { return workers.size(); }

  private:
    static std::thread StartThread(std::function<void()> loop);
    void RunWorker();
    bool InForkedChild() const;

    std::mutex mutex;                    // guards queue, pendingIds and stopping
    std::condition_variable wakeWorkers; // idle workers sleep here
    std::deque<PoolTask> queue;
    std::set<std::string> pendingIds;    // queued or running
    bool stopping = false;
    std::vector<std::thread> workers;    // in start order; written only by the constructor
    long ownerProcess;                   // the process that started the workers
};

}  // namespace framedec
