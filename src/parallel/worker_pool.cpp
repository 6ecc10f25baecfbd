#include "parallel/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <utility>

#if defined(_WIN32)
#include <process.h>
#define FRAMEDEC_PROCESS_ID _getpid
#else
#include <pthread.h>
#include <unistd.h>
#define FRAMEDEC_PROCESS_ID CachedProcessId
#endif

#include "parallel/pool_platform.h"
#include "parallel/task_id.h"

namespace framedec {

namespace {

#if !defined(_WIN32)
// The process id, read once and again in every forked child, so that the fork check of each
// submission costs no system call.
constinit std::atomic<long> processId{0};

void ReadProcessId() { processId.store(static_cast<long>(getpid()), std::memory_order_relaxed); }

long CachedProcessId() {
    static const bool watching = [] {
        ReadProcessId();
        return pthread_atfork(nullptr, nullptr, ReadProcessId) == 0;
    }();
    return watching ? processId.load(std::memory_order_relaxed) : static_cast<long>(getpid());
}
#endif

// The process pool's pointer and the shutdown's bookkeeping. Trivially destructible, so they stay
// readable while the process exits, after the shutdown has run.
constinit std::atomic<WorkerPool*> processPool{nullptr};
constinit std::atomic<bool> processPoolShutDown{false};
constinit std::atomic<int> processPoolHolds{0};

}  // namespace

WorkerPool& WorkerPool::Instance() {
    // Constructed once, thread-safely, on first use. The owner's destructor (the shutdown) runs at
    // library unload or process exit; on Windows the library is pinned once the workers run, so
    // only at exit. The pool lives on the heap so that a process whose workers are gone (forked
    // from this one, or a Windows process that is ending) can leave it alone: joining those
    // threads, or destroying the condition variable they wait on, would never return.
    struct Owner {
        Owner() {
            const bool kept = KeepModuleWhileWorkersRun();
            processPool.store(new WorkerPool(kept ? kWorkerCount : 0));
        }
        ~Owner() {
            WorkerPool* pool = processPool.load();
            if (pool->InForkedChild()) return;
            if (!WorkersStillExist()) {
                // The process is ending and the system has ended the workers, perhaps inside the
                // pool's lock: touch nothing (the pool goes with the process). Calls from later
                // exit code decode on their own thread.
                processPoolShutDown.store(true);
                return;
            }
            // Holds taken from now on get no pool. A hold taken before still uses this one, so it
            // is freed only when none is left (else it goes with the exiting process).
            processPoolShutDown.store(true);
            pool->Shutdown();
            if (processPoolHolds.load() == 0) delete pool;
        }
    };
    static Owner owner;
    return *processPool.load();
}

// The count goes up before the shutdown flag is read, and the shutdown sets the flag before it
// reads the count (both sequentially consistent): a hold that sees no shutdown is always counted.
// Once the process is ending without its workers, the pool is not touched even before its
// shutdown has run: a worker may have died holding its lock.
WorkerPool::Hold::Hold() {
    processPoolHolds.fetch_add(1);
    if (processPoolShutDown.load() || !WorkersStillExist()) return;
    try {
        held = &Instance();
    } catch (...) {
        processPoolHolds.fetch_sub(1);
        throw;
    }
}

WorkerPool::Hold::~Hold() { processPoolHolds.fetch_sub(1); }

std::thread WorkerPool::StartThread(std::function<void()> loop) { return std::thread(std::move(loop)); }

WorkerPool::WorkerPool(uint32_t workerCount, const ThreadStarter& startThread) : ownerProcess(FRAMEDEC_PROCESS_ID()) {
    try {
        // Reserved first, so that keeping a started thread can never fail (a std::thread dropped
        // while still joinable would end the process).
        workers.reserve(workerCount);
        for (uint32_t i = 0; i < workerCount; ++i) workers.push_back(startThread([this] { RunWorker(); }));
    } catch (...) {
        // A worker the platform refuses to start: keep the ones already running. Submitters
        // decode on their own thread what the pool cannot take.
    }
}

// A process forked from one that had started the workers inherits the pool without its threads.
bool WorkerPool::InForkedChild() const { return FRAMEDEC_PROCESS_ID() != ownerProcess; }

WorkerPool::~WorkerPool() { Shutdown(); }

void WorkerPool::Shutdown() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wakeWorkers.notify_all();
    for (std::thread& worker : workers) {
        if (worker.joinable()) worker.join();
    }
    {
        std::lock_guard lock(mutex);
        queue.clear();  // the tasks still queued are destroyed without running
        stopped = true;
    }
    finished.fetch_add(kStopStep, std::memory_order_release);  // past every waiter's target: they look again
}

std::string WorkerPool::Submit(std::function<void()> run) {
    std::string id;
    SubmitAll(std::span(&run, 1), std::span(&id, 1));
    return id;
}

void WorkerPool::SubmitAll(std::span<std::function<void()>> runs, std::span<std::string> ids, const void* submitter) {
    // Checked before locking: a worker of the parent may have held the lock when the process forked.
    if (InForkedChild()) throw std::runtime_error("the worker pool's threads belong to the parent process");
    {
        std::lock_guard lock(mutex);
        if (workers.empty()) throw std::runtime_error("the worker pool has no worker");
        if (stopping) throw std::runtime_error("the worker pool is shutting down");
        std::size_t queued = 0, recorded = 0;
        try {
            for (std::size_t i = 0; i < runs.size(); ++i) {
                ids[i] = NewTaskId();
                queue.push_back(PoolTask{ids[i], std::move(runs[i]), submitter});
                ++queued;
                pendingIds.insert(ids[i]);
                ++recorded;
            }
        } catch (...) {
            for (std::size_t i = 0; i < recorded; ++i) pendingIds.erase(ids[i]);
            for (std::size_t i = 0; i < queued; ++i) queue.pop_back();
            throw;
        }
    }
    // Wake one worker per task, but no more than can run beside the submitter: a worker that takes a task while
    // more are queued wakes the next one itself as long as fewer than that are busy, and busy
    // workers go on to the next queued task without sleeping. On a machine with few processors,
    // waking a worker per strip of a 32-strip decode makes the woken workers preempt each other
    // (and sleep on the lock) for little more work than the processors can do anyway.
    const std::size_t wakes = std::min<std::size_t>(runs.size(), wakeLimit);
    for (std::size_t i = 0; i < wakes; ++i) wakeWorkers.notify_one();
}

std::function<void()> WorkerPool::TakeBack(const void* submitter) {
    PoolTask task;
    {
        std::lock_guard lock(mutex);
        // From the back: the workers take from the front, and a submitter's tasks are usually last.
        const auto found = std::find_if(queue.rbegin(), queue.rend(),
                                        [submitter](const PoolTask& queued) { return queued.submitter == submitter; });
        if (found == queue.rend()) return {};
        task = std::move(*found);
        queue.erase(std::next(found).base());
        pendingIds.erase(task.id);
    }
    return std::move(task.run);  // the identifier is destroyed outside the lock
}

bool WorkerPool::AnyPending(std::span<const std::string> ids) { return CheckPending(ids).pendingCount > 0; }

WorkerPool::PendingState WorkerPool::CheckPending(std::span<const std::string> ids) {
    if (ids.empty()) return {0, false};  // without the lock, which a forked child may find held
    std::lock_guard lock(mutex);
    const auto count = static_cast<uint32_t>(
        std::count_if(ids.begin(), ids.end(), [this](const std::string& id) { return pendingIds.contains(id); }));
    return {count, stopped};
}

void WorkerPool::RunWorker() {
    for (;;) {
        PoolTask task;
        bool more = false;
        {
            std::unique_lock lock(mutex);
            wakeWorkers.wait(lock, [this] { return stopping || !queue.empty(); });
            if (stopping) return;  // a stopping pool starts no further task, even with some queued
            task = std::move(queue.front());
            queue.pop_front();
            ++busyWorkers;
            more = !queue.empty() && busyWorkers < wakeLimit;
        }
        if (more) wakeWorkers.notify_one();
        try {
            task.run();
        } catch (...) {
            // The worker must survive a failing task and still report it finished.
        }
        {
            std::lock_guard lock(mutex);
            pendingIds.erase(task.id);
            --busyWorkers;
        }
        finished.fetch_add(1, std::memory_order_release);
    }  // the task is destroyed here, outside the lock
}

}  // namespace framedec
