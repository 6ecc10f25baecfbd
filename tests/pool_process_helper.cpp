// A process of its own for what the test process cannot show about the process-wide worker pool:
// how many threads the first accepted call starts, that refused calls start nothing, and what
// becomes of running and queued tasks when the process exits or the library is unloaded.
//   pool_process_helper first-call
//   pool_process_helper exit-with-queued-work
//   pool_process_helper unload <path of the shared library>
//   pool_process_helper library-exit-while-busy <path of the shared library>
//   pool_process_helper fork                       (POSIX only)
//   pool_process_helper calls-during-exit
//   pool_process_helper load-plugin <path of a plugin that decodes while it is loaded>
//   pool_process_helper plugin-exit-while-busy <path of that plugin>
//   pool_process_helper plugin-decode-at-unload <path of that plugin> none|single|multithread busy|idle
#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "codec/frame_geometry.h"
#include "codec/quant_table_q.h"
#include "framedec.h"
#include "parallel/worker_pool.h"
#include "pattern_frame.h"
#include "process_support.h"

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
    return testing::ThreadCount();
}

// Unbuffered, so that lines written by tasks during exit are not lost or reordered.
void Say(const char* line) { testing::WriteUnbuffered(line); }

using testing::PatternFrame;

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

// Loads the library and unloads it before any parallel decode; then loads it again, decodes in
// parallel through it, unloads it and reports what stayed: its threads and whether it is still
// mapped. The process must then exit normally.
int Unload(const char* path) {
    const PatternFrame pattern(256, 16);
    std::vector<uint8_t> out(pattern.expected.size());
    {
        testing::SharedLibrary library(path);
        const auto decode = library.Lookup<decltype(DecodeData)>("DecodeData");
        if (decode == nullptr || decode(out.data(), 0, 0, 256, 16, 256, pattern.frame.data(), kTableQ) != 0) return 2;
        library.Unload();
        std::printf("before the pool: %s\n", testing::SharedLibrary::IsMapped(path) ? "still loaded" : "unloaded");
    }
    auto* library = new testing::SharedLibrary(path);
    if (!library->Loaded()) {
        std::printf("cannot load: %s\n", library->Error().c_str());
        return 2;
    }
    const auto decode = library->Lookup<decltype(DecodeDataMultiThread)>("DecodeDataMultiThread");
    if (decode == nullptr) return 2;
    const long before = ThreadCount();
    const int32_t result = decode(out.data(), 0, 0, 256, 16, 256, pattern.frame.data(), kTableQ, 4);
    const long loaded = ThreadCount();
    const bool unloadAccepted = library->Unload();
    delete library;
    std::printf("result: %d %s\nunload: %s\nthreads: %ld %ld %ld\n%s\n", result,
                out == pattern.expected ? "same" : "different", unloadAccepted ? "accepted" : "refused", before,
                loaded, ThreadCount(), testing::SharedLibrary::IsMapped(path) ? "still loaded" : "unloaded");
    std::fflush(stdout);
    return 0;
}

// Loads the library and keeps two threads decoding through it, each checking every image, while
// main returns: the process must end promptly whatever the pool is doing at that moment.
int LibraryExitWhileBusy(const char* path) {
    testing::EndProcessAfter(std::chrono::seconds(30));
    // Never freed: the decoding threads use them until the process has ended.
    static auto* library = new testing::SharedLibrary(path);
    if (!library->Loaded()) {
        std::printf("cannot load: %s\n", library->Error().c_str());
        return 2;
    }
    const auto decode = library->Lookup<decltype(DecodeDataMultiThread)>("DecodeDataMultiThread");
    if (decode == nullptr) return 2;
    static const auto* pattern = new PatternFrame(kMaxImageWidth, 64);
    static std::atomic<int> goodCalls{0};
    for (uint32_t threads : {32u, 7u}) {
        std::thread([decode, threads] {
            std::vector<uint8_t> out(pattern->expected.size());
            for (;;) {
                const int32_t result = decode(out.data(), 0, 0, pattern->width, pattern->height, pattern->width,
                                              pattern->frame.data(), kTableQ, threads);
                if (result != 0 || out != pattern->expected) Say("different\n");
                ++goodCalls;
            }
        }).detach();
    }
    while (goodCalls < 20) std::this_thread::yield();
    Say("main returns\n");
    return 0;
}

#if !defined(_WIN32)
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
#endif

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
    testing::EndProcessAfter(std::chrono::seconds(30));  // a hang ends the process instead of the test run
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

// Loads a plugin whose static constructor makes the process's first parallel decode, under the
// Windows loader lock: the load must return (within the test's time limit) with the right image.
int LoadPlugin(const char* path) {
    // Never unloaded, as a host keeps its plugins: the plugin's frame lives until the process ends.
    static auto* plugin = new testing::SharedLibrary(path);
    if (!plugin->Loaded()) {
        std::printf("cannot load: %s\n", plugin->Error().c_str());
        return 2;
    }
    const auto loadDecode = plugin->Lookup<int32_t()>("PluginLoadDecode");
    if (loadDecode == nullptr) return 2;
    std::printf("decode while loading: %d\n", loadDecode());
    return 0;
}

// Loads that plugin, keeps three of its threads decoding and returns from main: the process must
// end promptly, also where the plugin holds the library's pool itself (a static link).
int PluginExitWhileBusy(const char* path) {
    testing::EndProcessAfter(std::chrono::seconds(30));
    static auto* plugin = new testing::SharedLibrary(path);  // never unloaded: its threads run to the end
    const auto start = plugin->Lookup<void(int)>("PluginStartDecoding");
    const auto goodCalls = plugin->Lookup<int()>("PluginGoodCalls");
    const auto badCalls = plugin->Lookup<int()>("PluginBadCalls");
    if (start == nullptr || goodCalls == nullptr || badCalls == nullptr) return 2;
    start(3);
    while (goodCalls() + badCalls() < 20) std::this_thread::yield();
    std::printf("wrong images: %d\n", badCalls());
    std::fflush(stdout);
    Say("main returns\n");
    return 0;
}

// Loads that plugin, has it decode once more while it is unloaded at exit (nothing, DecodeData or
// DecodeDataMultiThread) and returns from main with the pool busy (three of the plugin's threads
// decoding) or idle (one parallel decode done before): the process must end promptly and the
// unload's images must be right, also on Windows, where the system has ended every other thread
// by then, possibly inside the pool's lock.
int PluginDecodeAtUnload(const char* path, const std::string& decode, const std::string& pool) {
    static auto* plugin = new testing::SharedLibrary(path);  // never unloaded by us: the exit does it
    const auto start = plugin->Lookup<void(int)>("PluginStartDecoding");
    const auto goodCalls = plugin->Lookup<int()>("PluginGoodCalls");
    const auto badCalls = plugin->Lookup<int()>("PluginBadCalls");
    const auto decodeAtUnload = plugin->Lookup<void(int)>("PluginDecodeAtUnload");
    if (start == nullptr || goodCalls == nullptr || badCalls == nullptr || decodeAtUnload == nullptr) return 2;
    const int mode = decode == "none" ? 0 : decode == "single" ? 1 : decode == "multithread" ? 2 : -1;
    if (mode < 0 || (pool != "busy" && pool != "idle")) return 2;
    decodeAtUnload(mode);
    start(pool == "busy" ? 3 : 0);
    while (pool == "busy" && goodCalls() + badCalls() < 20) std::this_thread::yield();
    std::printf("wrong images: %d\n", badCalls());
    std::fflush(stdout);
    Say("main returns\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "first-call") return FirstCall();
    if (mode == "exit-with-queued-work") return ExitWithQueuedWork();
    if (mode == "unload" && argc > 2) return Unload(argv[2]);
    if (mode == "library-exit-while-busy" && argc > 2) return LibraryExitWhileBusy(argv[2]);
#if !defined(_WIN32)
    if (mode == "fork") return Fork();
#endif
    if (mode == "calls-during-exit") return CallsDuringExit();
    if (mode == "load-plugin" && argc > 2) return LoadPlugin(argv[2]);
    if (mode == "plugin-exit-while-busy" && argc > 2) return PluginExitWhileBusy(argv[2]);
    if (mode == "plugin-decode-at-unload" && argc > 4) return PluginDecodeAtUnload(argv[2], argv[3], argv[4]);
    std::fprintf(stderr,
                 "usage: %s first-call | exit-with-queued-work | unload LIBRARY | library-exit-while-busy LIBRARY | "
                 "fork | calls-during-exit | load-plugin PLUGIN | plugin-exit-while-busy PLUGIN | "
                 "plugin-decode-at-unload PLUGIN none|single|multithread busy|idle\n",
                 argv[0]);
    return 2;
}
