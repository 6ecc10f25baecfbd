// The process-wide worker pool, seen from fresh processes (pool_process_helper): the first accepted
// DecodeDataMultiThread call starts 32 threads and refused calls start none; at process exit and at
// library unload running tasks finish, queued tasks never run, and the workers are gone.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace {

struct HelperRun {
    std::string output;
    int exitCode = -1;
};

HelperRun RunHelper(const std::string& arguments, const std::string& environment = "") {
    HelperRun run;
    const std::string command = environment + " '" + FRAMEDEC_POOL_HELPER + "' " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
    const int status = pclose(pipe);
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
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
    const HelperRun run = RunHelper("first-call");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("refusals: 5 5 5 5 5\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("accepted: 0\n"), std::string::npos) << run.output;
    long before = 0, afterRefusals = 0, afterFirstCall = 0;
    ASSERT_TRUE(ThreadCounts(run.output, before, afterRefusals, afterFirstCall)) << run.output;
    EXPECT_EQ(afterRefusals, before);
    EXPECT_EQ(afterFirstCall, before + 32);
}

TEST(ProcessPool, AtExitRunningTasksFinishAndQueuedTasksNeverRun) {
    const HelperRun run = RunHelper("exit-with-queued-work");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const auto mainReturned = run.output.find("main returns\n");
    ASSERT_NE(mainReturned, std::string::npos) << run.output;
    // Every running task reports after main has returned: the exit waited for it.
    EXPECT_EQ(Count(run.output.substr(mainReturned), "running task finished\n"), 32u) << run.output;
    EXPECT_EQ(Count(run.output, "queued task ran"), 0u) << run.output;
}

TEST(ProcessPool, UnloadingTheLibraryJoinsItsWorkers) {
    const HelperRun run = RunHelper(std::string("unload '") + FRAMEDEC_SHARED_LIBRARY + "'");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("result: 0\n"), std::string::npos) << run.output;
    long before = 0, loaded = 0, after = 0;
    ASSERT_TRUE(ThreadCounts(run.output, before, loaded, after)) << run.output;
    EXPECT_EQ(loaded, before + 32);
    ASSERT_NE(run.output.find("\nunloaded\n"), std::string::npos) << "the library stayed loaded:\n" << run.output;
    EXPECT_EQ(after, before);
}

TEST(ProcessPool, AForkedChildDecodesOnItsOwnThreadAndExits) {
    // The leak checker cannot stop the parent's threads, which a forked child lists but lacks, and
    // may hang trying: it is turned off for this helper (in sanitizer builds; elsewhere unused).
    const HelperRun run = RunHelper("fork", "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\"");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("child hung"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("child: 0 same\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("parent: 0 same\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("child exit: 0\n"), std::string::npos) << run.output;
}

TEST(ProcessPool, CallsThatMeetTheShutdownAtExitStillGetTheirImage) {
    const HelperRun run = RunHelper("calls-during-exit");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("main returns\nthread inside the call: 0 same\ncall after the shutdown: 0 same\n"),
              std::string::npos)
        << run.output;
}

}  // namespace
