// What the tests need from the operating system around processes: running a program with its
// output in files, counting this process's threads, loading a shared library by path, a scratch
// directory and a watchdog. One implementation per platform (process_support_posix.cpp,
// process_support_windows.cpp).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace framedec::testing {

struct ProgramRun {
    int exitCode = -1;      // -1 when the program did not exit by itself
    bool timedOut = false;  // killed after the time limit
    std::string startError; // why the program could not be started (empty when it was)
};

// Runs command[0] with the other elements as its arguments, in workingDirectory (empty: this
// process's), with standard output and standard error written to the two files. A program still
// running after timeout is killed. A fileSizeLimit above 0 caps every file the program writes at
// that many bytes, as a full disk would (where CanLimitFileSize()): writes beyond it fail.
ProgramRun RunProgram(const std::vector<std::string>& command, const std::filesystem::path& workingDirectory,
                      const std::filesystem::path& outPath, const std::filesystem::path& errPath,
                      std::chrono::seconds timeout, uint64_t fileSizeLimit = 0);

// Whether RunProgram can cap file sizes: POSIX has a per-process limit, Windows none.
bool CanLimitFileSize();

// The number of threads this process has now.
long ThreadCount();

// A new, empty directory under the system's temporary directory, its name starting with prefix.
std::filesystem::path MakeTemporaryDirectory(const std::string& prefix);

// This process's id.
uint64_t CurrentProcessId();

// Writes text to standard output at once, without the C library's buffering, so that lines
// written by several threads while the process exits are neither lost nor reordered.
void WriteUnbuffered(const char* text);

// Ends this process, with a non-zero status, once the given time has passed: a hang fails fast.
void EndProcessAfter(std::chrono::seconds limit);

// Holds a file open for reading, as a viewer or an indexer does, until the hold is destroyed. The
// programs this process starts meanwhile do not inherit it.
class FileHold {
  public:
    explicit FileHold(const std::filesystem::path& path);
    ~FileHold();
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;
    bool Held() const;

  private:
    intptr_t handle_;
};

// A shared library loaded by path (dlopen on Linux, LoadLibrary on Windows).
class SharedLibrary {
  public:
    explicit SharedLibrary(const std::string& path);
    ~SharedLibrary();  // unloads it, unless Unload already did
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr; }
    const std::string& Error() const { return error_; }  // why loading failed
    void* Symbol(const char* name) const;               // null when it is not exported

    template <class Function>
    Function* Lookup(const char* name) const {
        return reinterpret_cast<Function*>(Symbol(name));
    }

    // Gives up this handle; true when the platform accepted the unload.
    bool Unload();

    // Whether the library at path is still mapped into this process.
    static bool IsMapped(const std::string& path);

  private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace framedec::testing
