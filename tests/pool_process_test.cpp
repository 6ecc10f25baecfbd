// The process-wide worker pool, seen from fresh processes (pool_process_helper): the first accepted
// DecodeDataMultiThread call starts 32 threads and refused calls start none; at process exit and at
// library unload running tasks finish, queued tasks never run, and the workers are gone. On Windows
// the DLL stays loaded once its pool has started, and a process that ends while the pool is busy
// ends promptly. A plugin that makes the process's first parallel decode while it is loaded loads
// promptly, and one that links the library statically lets the process end promptly while it
// decodes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "process_support.h"
#include "test_support.h"

namespace {

using framedec::testing::MakeTemporaryDirectory;
using framedec::testing::ProgramRun;
using framedec::testing::RunProgram;
using framedec::testing::TargetProgramCommand;
using framedec::testing::kEmulated;

struct HelperRun {
    std::string output;
    int exitCode = -1;
};

// Runs the helper with its output in a scratch folder; a helper still running after 30 seconds
// hangs and fails the test.
HelperRun RunHelper(const std::vector<std::string>& arguments) {
    const std::filesystem::path folder = MakeTemporaryDirectory("framedec-pool-");
    std::vector<std::string> command = TargetProgramCommand(FRAMEDEC_POOL_HELPER);
    command.insert(command.end(), arguments.begin(), arguments.end());
    const ProgramRun program =
        RunProgram(command, {}, folder / "stdout", folder / "stderr", std::chrono::seconds(30));
    EXPECT_FALSE(program.timedOut) << "the helper hung";
    HelperRun run;
    run.exitCode = program.exitCode;
    std::ifstream out(folder / "stdout", std::ios::binary);
    for (auto c = std::istreambuf_iterator<char>(out); c != std::istreambuf_iterator<char>(); ++c) {
        if (*c != '\r') run.output.push_back(*c);  // text-mode line ends (Windows) read as "\n"
    }
    out.close();
    std::filesystem::remove_all(folder);
    return run;
}

// The three numbers of the line "threads: a b c".
bool ThreadCounts(const std::string& output, long& a, long& b, long& c) {
    const auto at = output.find("threads: ");
    return at != std::string::npos && std::sscanf(output.c_str() + at, "threads: %ld %ld %ld", &a, &b, &c) == 3;
}

std::size_t Count(const std::string& text, const std::string& line) {
    std::size_t n = 0;
    for (auto at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
}

TEST(ProcessPool, FirstAcceptedCallStarts32ThreadsAndRefusalsStartNone) {
    const HelperRun run = RunHelper({"first-call"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("refusals: 5 5 5 5 5\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("accepted: 0\n"), std::string::npos) << run.output;
    long before = 0, afterRefusals = 0, afterFirstCall = 0;
    ASSERT_TRUE(ThreadCounts(run.output, before, afterRefusals, afterFirstCall)) << run.output;
    if (kEmulated) GTEST_SKIP() << "under qemu-user the count includes the emulator's own threads, which come and go";
    EXPECT_EQ(afterRefusals, before);
    EXPECT_EQ(afterFirstCall, before + 32);
}

TEST(ProcessPool, AtExitRunningTasksFinishAndQueuedTasksNeverRun) {
    const HelperRun run = RunHelper({"exit-with-queued-work"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const auto mainReturned = run.output.find("main returns\n");
    ASSERT_NE(mainReturned, std::string::npos) << run.output;
    // Every running task reports after main has returned: the exit waited for it.
    EXPECT_EQ(Count(run.output.substr(mainReturned), "running task finished\n"), 32u) << run.output;
    EXPECT_EQ(Count(run.output, "queued task ran"), 0u) << run.output;
}

TEST(ProcessPool, UnloadingTheLibraryAfterAParallelDecode) {
    const HelperRun run = RunHelper({"unload", FRAMEDEC_SHARED_LIBRARY});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("before the pool: unloaded\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("result: 0 same\nunload: accepted\n"), std::string::npos) << run.output;
    long before = 0, loaded = 0, after = 0;
    ASSERT_TRUE(ThreadCounts(run.output, before, loaded, after)) << run.output;
#if defined(_WIN32)
    // FreeLibrary would have to join the workers under the loader lock: the DLL pins itself once
    // its pool has started, and its workers stay until the process ends (which it then does).
    EXPECT_NE(run.output.find("\nstill loaded\n"), std::string::npos) << run.output;
    EXPECT_EQ(after, loaded);
#else
    ASSERT_NE(run.output.find("\nunloaded\n"), std::string::npos) << "the library stayed loaded:\n" << run.output;
    if (kEmulated) GTEST_SKIP() << "under qemu-user the count includes the emulator's own threads, which come and go";
    EXPECT_EQ(after, before);
#endif
    EXPECT_EQ(loaded, before + 32);
}

TEST(ProcessPool, AProcessEndsPromptlyWhileThePoolOfTheLoadedLibraryIsBusy) {
    const HelperRun run = RunHelper({"library-exit-while-busy", FRAMEDEC_SHARED_LIBRARY});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("main returns\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("different"), std::string::npos) << run.output;
}

TEST(ProcessPool, AForkedChildDecodesOnItsOwnThreadAndExits) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no fork(): a child process never inherits a started pool";
#else
    // The leak checker cannot stop the parent's threads, which a forked child lists but lacks, and
    // may hang trying: it is turned off for this helper (in sanitizer builds; elsewhere unused).
    const char* previous = std::getenv("ASAN_OPTIONS");
    const std::string saved = previous ? previous : "";
    setenv("ASAN_OPTIONS", (saved + ":detect_leaks=0").c_str(), 1);
    const HelperRun run = RunHelper({"fork"});
    if (previous) {
        setenv("ASAN_OPTIONS", saved.c_str(), 1);
    } else {
        unsetenv("ASAN_OPTIONS");
    }
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("child hung"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("child: 0 same\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("parent: 0 same\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("child exit: 0\n"), std::string::npos) << run.output;
#endif
}

TEST(ProcessPool, CallsThatMeetTheShutdownAtExitStillGetTheirImage) {
    const HelperRun run = RunHelper({"calls-during-exit"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("main returns\nthread inside the call: 0 same\ncall after the shutdown: 0 same\n"),
              std::string::npos)
        << run.output;
}

// The pool created under the Windows loader lock, where its workers cannot start until the load
// has finished: the decode must not wait for them. Through the shared library and linked in.
TEST(ProcessPool, APluginThatDecodesWhileItIsLoadedLoadsWithTheRightImage) {
    for (const char* plugin : {FRAMEDEC_POOL_PLUGIN_SHARED, FRAMEDEC_POOL_PLUGIN_STATIC}) {
        SCOPED_TRACE(plugin);
        const HelperRun run = RunHelper({"load-plugin", plugin});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find("decode while loading: 0\n"), std::string::npos) << run.output;
    }
}

// The library linked statically into a plugin: at exit the pool must see that its workers are gone
// (they may have died inside its lock), wherever it is linked. Every run ends by itself.
TEST(ProcessPool, AProcessEndsPromptlyWhileAPluginWithTheStaticLibraryDecodes) {
    for (int i = 0; i < 20; ++i) {
        const HelperRun run = RunHelper({"plugin-exit-while-busy", FRAMEDEC_POOL_PLUGIN_STATIC});
        ASSERT_EQ(run.exitCode, 0) << "run " << i << ":\n" << run.output;
        ASSERT_NE(run.output.find("wrong images: 0\nmain returns\n"), std::string::npos) << run.output;
    }
}

// A plugin whose static destructor decodes while the plugin is unloaded at exit, after its own
// threads had been decoding. On Windows the system has ended every other thread by then, perhaps
// inside the pool's lock, and the plugin is detached before framedec.dll learns of the exit: the
// unload's decode must not wait for the pool. There that case runs 30 times (a few tenths of a
// second each under Wine) and the controls (DecodeData at unload, no unload decode, an idle pool,
// the library linked into the plugin) 3 times each; elsewhere, where the threads still exist at
// that point, 3 times and once. No run may hang, every image is right.
TEST(ProcessPool, APluginThatDecodesInParallelWhileItIsUnloadedAtExitNeverHangs) {
#if defined(_WIN32)
    constexpr int kRuns = 30, kControlRuns = 3;
#else
    constexpr int kRuns = 3, kControlRuns = 1;
#endif
    struct Case {
        const char* plugin;
        const char* decode;  // at unload: none, single (DecodeData) or multithread
        const char* pool;    // busy: the plugin's threads decode until the exit; idle: they never started
        int runs;
    };
    const Case cases[] = {
        {FRAMEDEC_POOL_PLUGIN_SHARED, "multithread", "busy", kRuns},
        {FRAMEDEC_POOL_PLUGIN_SHARED, "single", "busy", kControlRuns},
        {FRAMEDEC_POOL_PLUGIN_SHARED, "none", "busy", kControlRuns},
        {FRAMEDEC_POOL_PLUGIN_SHARED, "multithread", "idle", kControlRuns},
        {FRAMEDEC_POOL_PLUGIN_STATIC, "multithread", "busy", kControlRuns},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < c.runs; ++i) {
            SCOPED_TRACE(std::string(c.plugin) + " " + c.decode + " " + c.pool + ", run " + std::to_string(i));
            const HelperRun run = RunHelper({"plugin-decode-at-unload", c.plugin, c.decode, c.pool});
            ASSERT_EQ(run.exitCode, 0) << run.output;
            const std::string unload = std::string(c.decode) == "none" ? "" : "decode at unload: 0 0 0\n";
            ASSERT_EQ(run.output, "wrong images: 0\nmain returns\n" + unload);
        }
    }
}

}  // namespace
