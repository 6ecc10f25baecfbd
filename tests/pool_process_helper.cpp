// A process of its own for what the test process cannot show about the process-wide worker pool:
// how many threads the first accepted call starts, that refused calls start nothing, and what
// becomes of running and queued tasks when the process exits or the library is unloaded.
//   pool_process_helper first-call
//   pool_process_helper exit-with-queued-work
//   pool_process_helper unload <path of libframedec.so>
//   pool_process_helper fork
//   pool_process_helper calls-during-exit
#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "codec/frame_geometry.h"
#include "codec/quant_table_q.h"
#include "framedec.h"
#include "parallel/worker_pool.h"

namespace {

using namespace framedec;

// Threads of this process. The first call starts and joins one thread, so that a helper thread a
// runtime starts along with the first thread (ThreadSanitizer's) is in every count.
long ThreadCount() {
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return std::distance(begin(tasks), end(tasks));
}

// Unbuffered, so that lines written by tasks during exit are not lost or reordered.
void Say(const char* line) {
    if (write(STDOUT_FILENO, line, std::strlen(line)) < 0) _exit(3);
}

int FirstCall() {
    const std::vector<uint8_t> frame(FrameBytes(kBlockSize));
    uint8_t out[64];
    const long before = ThreadCount();
    const int32_t refusals[] = {
        DecodeDataMultiThread(out, 0, 0, 8, 8, 8, frame.data(), kTableQ, 0),
        DecodeDataMultiThread(out, 0, 0, 8, 8, 8, frame.data(), kTableQ, 33),
        DecodeDataMultiThread(nullptr, 0, 0, 8, 8, 8, frame.data(), kTableQ, 2),
        DecodeDataMultiThread(out, 4, 0, 8, 8, 8, frame.data(), kTableQ, 2),
        DecodeDataMultiThread(out, 0, 0, 1247, 8, 8, frame.data(), kTableQ, 2),
    };
    const long afterRefusals = ThreadCount();
    // One strip: decoded on the calling thread, nothing queued, yet the pool is created.
    const int32_t accepted = DecodeDataMultiThread(out, 0, 0, 8, 8, 8, frame.data(), kTableQ, 1);
    const long afterFirstCall = ThreadCount();
    std::printf("refusals:");
    for (int32_t r : refusals) std::printf(" %d", r);
    std::printf("\naccepted: %d\nthreads: %ld %ld %ld\n", accepted, before, afterRefusals, afterFirstCall);
    return 0;
}

std::atomic<int> runningTasksStarted{0};

// Leaves main with the 32 workers busy and more tasks queued. The shutdown at exit must let the
// running tasks finish (each reports after main has returned) and never start the queued ones.
int ExitWithQueuedWork() {
    WorkerPool& pool = WorkerPool::Instance();
    for (uint32_t i = 0; i < WorkerPool::kWorkerCount; ++i) {
        pool.Submit([] {
            ++runningTasksStarted;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            Say("running task finished\n");
        });
    }
    for (int i = 0; i < 8; ++i) pool.Submit([] { Say("queued task ran\n"); });
    while (runningTasksStarted < static_cast<int>(WorkerPool::kWorkerCount)) std::this_thread::yield();
    Say("main returns\n");
    return 0;
}

int Unload(const char* path) {
    using DecodeFn = decltype(&DecodeDataMultiThread);
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return 2;
    const auto decode = reinterpret_cast<DecodeFn>(dlsym(library, "DecodeDataMultiThread"));
    if (decode == nullptr) return 2;
    const std::vector<uint8_t> frame(FrameBytes(kBlockSize));
    std::vector<uint8_t> out(64 * kBlockSize);
    const long before = ThreadCount();
    const int32_t result = decode(out.data(), 0, 0, 64, 8, 64, frame.data(), kTableQ, 4);
    const long loaded = ThreadCount();
    dlclose(library);
    const bool stillLoaded = dlopen(path, RTLD_NOW | RTLD_NOLOAD) != nullptr;
    std::printf("result: %d\nthreads: %ld %ld %ld\n%s\n", result, before, loaded, ThreadCount(),
                stillLoaded ? "still loaded" : "unloaded");
    return 0;
}

// A process forked after the pool started has none of its workers: its parallel decodes must
// still complete (on the calling thread) and its exit must not wait for the parent's threads.
int Fork() {
    std::vector<uint8_t> frame(FrameBytes(2 * kBlockSize));
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 37 + 11);
    std::vector<uint8_t> expected(128 * 16), parent(expected.size());
    DecodeData(expected.data(), 0, 0, 128, 16, 128, frame.data(), kTableQ);
    const int32_t parentResult = DecodeDataMultiThread(parent.data(), 0, 0, 128, 16, 128, frame.data(), kTableQ, 4);
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        std::vector<uint8_t> out(expected.size());
        const int32_t result = DecodeDataMultiThread(out.data(), 0, 0, 128, 16, 128, frame.data(), kTableQ, 4);
        std::printf("child: %d %s\n", result, out == expected ? "same" : "different");
        std::fflush(stdout);
        return 0;  // a normal exit: static destructors run, the pool's among them
    }
    int status = 0;
    for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; ++waited) {
        if (waited == 200) {  // 10 s
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            std::printf("child hung\n");
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::printf("parent: %d %s\nchild exit: %d\n", parentResult, parent == expected ? "same" : "different",
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}

// Calls that meet the pool's shutdown at exit. A thread is inside DecodeDataMultiThread with its
// strips queued behind 32 busy workers when main returns, so the shutdown drops them; an exit
// handler registered before the pool existed (so it runs after the shutdown) then waits for that
// thread and calls again itself. Both must get the right image, without a hang.
struct ExitCall {
    std::vector<uint8_t> frame = std::vector<uint8_t>(FrameBytes(2 * kBlockSize));
    std::vector<uint8_t> expected = std::vector<uint8_t>(256 * 16);
    std::vector<uint8_t> out = std::vector<uint8_t>(256 * 16);
    int32_t result = -1;
    std::thread caller;
};
ExitCall* exitCall = nullptr;  // never freed: used until the very end of the process

void Report(const char* who, int32_t result, bool same) {
    char line[96];
    std::snprintf(line, sizeof line, "%s: %d %s\n", who, result, same ? "same" : "different");
    Say(line);
}

void AfterShutdown() {
    ExitCall& c = *exitCall;
    c.caller.join();
    Report("thread inside the call", c.result, c.out == c.expected);
    std::vector<uint8_t> again(c.expected.size());
    const int32_t result = DecodeDataMultiThread(again.data(), 0, 0, 256, 16, 256, c.frame.data(), kTableQ, 4);
    Report("call after the shutdown", result, again == c.expected);
}

int CallsDuringExit() {
    alarm(30);  // a hang ends the process instead of the test run
    exitCall = new ExitCall;
    ExitCall& c = *exitCall;
    for (std::size_t i = 0; i < c.frame.size(); ++i) c.frame[i] = static_cast<uint8_t>(i * 37 + 11);
    DecodeData(c.expected.data(), 0, 0, 256, 16, 256, c.frame.data(), kTableQ);
    std::atexit(AfterShutdown);

    WorkerPool& pool = WorkerPool::Instance();
    for (uint32_t i = 0; i < WorkerPool::kWorkerCount; ++i) {
        pool.Submit([] {
            ++runningTasksStarted;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        });
    }
    while (runningTasksStarted < static_cast<int>(WorkerPool::kWorkerCount)) std::this_thread::yield();
    c.caller = std::thread([&c] {
        c.result = DecodeDataMultiThread(c.out.data(), 0, 0, 256, 16, 256, c.frame.data(), kTableQ, 4);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // its strips are queued by now
    Say("main returns\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "first-call") return FirstCall();
    if (mode == "exit-with-queued-work") return ExitWithQueuedWork();
    if (mode == "unload" && argc > 2) return Unload(argv[2]);
    if (mode == "fork") return Fork();
    if (mode == "calls-during-exit") return CallsDuringExit();
    std::fprintf(stderr, "usage: %s first-call | exit-with-queued-work | unload LIBRARY | fork | calls-during-exit\n",
                 argv[0]);
    return 2;
}
