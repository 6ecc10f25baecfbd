// The worker pool on private instances: identifiers, pending tracking, first-in first-out start
// order with all workers busy, and the failure paths (a task that throws, workers that cannot be
// started). Shutdown of the process's own pool is tested in a child process (pool_process_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "parallel/task_id.h"
#include "parallel/worker_pool.h"
#include "pool_test_support.h"

namespace framedec::testing {
namespace {

using namespace std::chrono_literals;

// Names of the tasks that have started, in start order.
class StartLog {
  public:
    void Add(int task) {
        {
            std::lock_guard lock(mutex_);
            started_.push_back(task);
        }
        changed_.notify_all();
    }
    bool WaitForCount(std::size_t n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 30s, [&] { return started_.size() >= n; });
    }
    std::vector<int> Started() {
        std::lock_guard lock(mutex_);
        return started_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> started_;
};

bool Pending(WorkerPool& pool, const std::vector<std::string>& ids) { return pool.AnyPending(ids); }

bool IsLowerHexOrHyphenAt(const std::string& id, std::size_t i) {
    const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    const char c = id[i];
    return hyphen ? c == '-' : (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// Each submission gets a new identifier in the 36-character text form of a (version 4) GUID.
TEST(WorkerPool, EverySubmissionGetsAFreshGuidText) {
    WorkerPool pool(2);
    std::vector<std::string> ids;
    for (int i = 0; i < 1000; ++i) ids.push_back(pool.Submit([] {}));
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
    for (const std::string& id : ids) {
        ASSERT_EQ(id.size(), kTaskIdLength);
        for (std::size_t k = 0; k < id.size(); ++k) ASSERT_TRUE(IsLowerHexOrHyphenAt(id, k)) << id;
        EXPECT_EQ(id[14], '4') << id;  // version 4: random
    }
    EXPECT_TRUE(WaitUntilNonePending(pool, ids));
}

// Identifiers made on several threads at once are all different (one seed per process, counted up).
TEST(WorkerPool, IdentifiersMadeConcurrentlyAreUnique) {
    constexpr int kThreads = 4, kEach = 20000;
    std::vector<std::vector<std::string>> made(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&made, t] {
            for (int i = 0; i < kEach; ++i) made[t].push_back(NewTaskId());
        });
    }
    for (std::thread& t : threads) t.join();
    std::set<std::string> all;
    for (const auto& ids : made) all.insert(ids.begin(), ids.end());
    EXPECT_EQ(all.size(), std::size_t{kThreads} * kEach);
    for (std::size_t k = 0; k < kTaskIdLength; ++k) ASSERT_TRUE(IsLowerHexOrHyphenAt(*all.begin(), k)) << *all.begin();
}

// A batch is queued in order, one identifier per task, each pending until its task has run; the
// finished count moves on as tasks finish. A batch the pool refuses leaves nothing pending.
TEST(WorkerPool, SubmitAllQueuesABatchInOrder) {
    std::vector<int> order;
    WorkerPool pool(1);
    std::vector<Gate> gates(1);
    OpenGatesOnExit guard{gates};
    const std::string blocker = pool.Submit([&] { gates[0].Wait(); });
    std::vector<std::function<void()>> runs;
    for (int i = 0; i < 5; ++i) runs.push_back([&order, i] { order.push_back(i); });
    std::vector<std::string> ids(runs.size());
    const uint64_t before = pool.FinishedCount();
    pool.SubmitAll(runs, ids);
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
    for (const std::string& id : ids) EXPECT_TRUE(pool.AnyPending({&id, 1}));
    EXPECT_EQ(pool.FinishedCount(), before);
    gates[0].Open();
    ASSERT_TRUE(WaitUntilNonePending(pool, ids));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_GE(pool.FinishedCount(), before + 6);

    WorkerPool none(WorkerPool::kWorkerCount, StarterThatFailsAfter(0));
    std::vector<std::function<void()>> refused(3, [] {});
    std::vector<std::string> refusedIds(3);
    EXPECT_THROW(none.SubmitAll(refused, refusedIds), std::runtime_error);
    EXPECT_EQ(none.CheckPending(refusedIds).pendingCount, 0u);
}

// A submitter takes back its own queued tasks, newest first, never one a worker has started nor
// another submitter's; a task taken back is no longer pending and runs where the caller runs it.
TEST(WorkerPool, TakeBackReturnsTheSubmittersNewestQueuedTask) {
    std::vector<Gate> gates(2);  // 0: the running task has started; 1: it may end
    WorkerPool pool(1);
    OpenGatesOnExit guard{gates};
    int mine = 0, theirs = 0;
    std::vector<std::function<void()>> running = {[&] {
        gates[0].Open();
        gates[1].Wait();
    }};
    std::vector<std::string> runningId(1);
    pool.SubmitAll(running, runningId, &mine);
    gates[0].Wait();
    std::vector<std::function<void()>> runs;
    for (int i = 1; i <= 3; ++i) runs.push_back([&mine, i] { mine = i; });
    std::vector<std::string> ids(runs.size());
    pool.SubmitAll(runs, ids, &mine);
    std::vector<std::function<void()>> other = {[&theirs] { theirs = 1; }};
    std::vector<std::string> otherId(1);
    pool.SubmitAll(other, otherId, &theirs);

    for (int expected = 3; expected >= 1; --expected) {
        const std::function<void()> run = pool.TakeBack(&mine);
        ASSERT_TRUE(run);
        EXPECT_FALSE(pool.AnyPending({&ids[expected - 1], 1}));
        run();
        EXPECT_EQ(mine, expected);
    }
    EXPECT_FALSE(pool.TakeBack(&mine));
    EXPECT_TRUE(pool.AnyPending(runningId));
    EXPECT_TRUE(pool.AnyPending(otherId));
    gates[1].Open();
    ASSERT_TRUE(WaitUntilNonePending(pool, otherId));
    EXPECT_EQ(theirs, 1);
}

// A shutdown drops what is still queued (its identifier stays pending, as it never ran) and moves the
// finished count on, so that a waiter watching the count looks again and sees the pool stopped.
TEST(WorkerPool, ShutdownDropsQueuedTasksAndWakesWaiters) {
    std::vector<Gate> gates(2);  // 0: the first task has started; 1: it may end
    OpenGatesOnExit guard{gates};
    WorkerPool pool(1);
    bool droppedRan = false;
    const std::string running = pool.Submit([&] {
        gates[0].Open();
        gates[1].Wait();
    });
    const std::string dropped = pool.Submit([&] { droppedRan = true; });
    gates[0].Wait();
    const uint64_t before = pool.FinishedCount();
    std::thread stopper([&] { pool.Shutdown(); });
    for (;;) {  // until the pool refuses work: it is stopping (what was queued meanwhile is dropped too)
        try {
            pool.Submit([] {});
        } catch (const std::runtime_error&) {
            break;
        }
    }
    gates[1].Open();
    stopper.join();
    EXPECT_FALSE(droppedRan);
    EXPECT_EQ(pool.CheckPending({&dropped, 1}).pendingCount, 1u);
    EXPECT_TRUE(pool.CheckPending({&dropped, 1}).stopped);
    EXPECT_FALSE(pool.AnyPending({&running, 1}));
    EXPECT_GE(pool.FinishedCount(), before + 2);  // the running task, then the stop
}

TEST(WorkerPool, AnyPendingUntilTheTaskHasRun) {
    std::vector<Gate> gates(1);
    bool ran = false;  // plain: AnyPending turning false must order the task's writes before ours
    WorkerPool pool(1);
    OpenGatesOnExit guard{gates};
    const std::string id = pool.Submit([&] {
        gates[0].Wait();
        ran = true;
    });
    const std::string quick = pool.Submit([] {});
    EXPECT_TRUE(Pending(pool, {id}));
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(Pending(pool, {id}));
    EXPECT_TRUE(Pending(pool, {quick}));  // queued behind the blocked task
    EXPECT_FALSE(pool.AnyPending({}));
    EXPECT_FALSE(Pending(pool, {NewTaskId()}));

    gates[0].Open();
    ASSERT_TRUE(WaitUntilNonePending(pool, {id}));
    EXPECT_TRUE(ran);
    ASSERT_TRUE(WaitUntilNonePending(pool, {id, quick}));
}

TEST(WorkerPool, OneWorkerRunsTasksInSubmissionOrder) {
    std::vector<int> order;
    WorkerPool pool(1);
    std::vector<std::string> ids;
    for (int i = 0; i < 200; ++i) ids.push_back(pool.Submit([&order, i] { order.push_back(i); }));
    ASSERT_TRUE(WaitUntilNonePending(pool, ids));
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
}

// With all 32 workers busy a further task waits; each worker that frees up takes the oldest one.
TEST(WorkerPool, QueuedTasksWaitForAFreeWorkerAndStartInOrder) {
    constexpr int kTasks = WorkerPool::kWorkerCount + 2;
    std::vector<Gate> gates(kTasks);
    StartLog log;
    WorkerPool pool;
    OpenGatesOnExit guard{gates};
    ASSERT_EQ(pool.WorkerCount(), WorkerPool::kWorkerCount);
    std::vector<std::string> ids;
    for (int i = 0; i < kTasks; ++i) {
        ids.push_back(pool.Submit([&, i] {
            log.Add(i);
            gates[i].Wait();
        }));
    }
    ASSERT_TRUE(log.WaitForCount(WorkerPool::kWorkerCount));
    std::this_thread::sleep_for(50ms);
    std::vector<int> started = log.Started();
    ASSERT_EQ(started.size(), std::size_t{WorkerPool::kWorkerCount}) << "a 33rd task started while 32 ran";
    std::sort(started.begin(), started.end());
    for (int i = 0; i < static_cast<int>(WorkerPool::kWorkerCount); ++i) EXPECT_EQ(started[i], i);

    gates[5].Open();
    ASSERT_TRUE(log.WaitForCount(WorkerPool::kWorkerCount + 1));
    std::this_thread::sleep_for(20ms);
    started = log.Started();
    ASSERT_EQ(started.size(), std::size_t{WorkerPool::kWorkerCount} + 1);
    EXPECT_EQ(started.back(), kTasks - 2);

    gates[0].Open();
    ASSERT_TRUE(log.WaitForCount(kTasks));
    EXPECT_EQ(log.Started().back(), kTasks - 1);
    EXPECT_TRUE(pool.AnyPending(ids));
    for (Gate& gate : gates) gate.Open();
    EXPECT_TRUE(WaitUntilNonePending(pool, ids));
}

TEST(WorkerPool, ATaskThatThrowsStillFinishesAndTheWorkerCarriesOn) {
    bool laterTaskRan = false;
    WorkerPool pool(1);
    const std::string failing = pool.Submit([] { throw std::runtime_error("task failure"); });
    const std::string later = pool.Submit([&] { laterTaskRan = true; });
    ASSERT_TRUE(WaitUntilNonePending(pool, {failing, later}));
    EXPECT_TRUE(laterTaskRan);
}

TEST(WorkerPool, WorksWithTheWorkersThatCouldBeStarted) {
    std::atomic<int> ran{0};
    WorkerPool pool(WorkerPool::kWorkerCount, StarterThatFailsAfter(3));
    EXPECT_EQ(pool.WorkerCount(), 3u);
    std::vector<std::string> ids;
    for (int i = 0; i < 50; ++i) ids.push_back(pool.Submit([&] { ++ran; }));
    ASSERT_TRUE(WaitUntilNonePending(pool, ids));
    EXPECT_EQ(ran.load(), 50);
}

TEST(WorkerPool, WithoutWorkersSubmitRefusesAndQueuesNothing) {
    WorkerPool pool(WorkerPool::kWorkerCount, StarterThatFailsAfter(0));
    EXPECT_EQ(pool.WorkerCount(), 0u);
    bool ran = false;
    EXPECT_THROW(pool.Submit([&] { ran = true; }), std::runtime_error);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace framedec::testing
