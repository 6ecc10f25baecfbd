#include "process_support.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <thread>

namespace framedec::testing {

ProgramRun RunProgram(const std::vector<std::string>& command, const std::filesystem::path& workingDirectory,
                      const std::filesystem::path& outPath, const std::filesystem::path& errPath,
                      std::chrono::seconds timeout, uint64_t fileSizeLimit) {
    // Everything the child needs is prepared here: after fork it makes only async-signal-safe calls.
    std::vector<std::string> all = command;
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = outPath.string(), err = errPath.string(), work = workingDirectory.string();

    ProgramRun run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (outFd < 0 || errFd < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0) _exit(126);
        if (!work.empty() && ::chdir(work.c_str()) != 0) _exit(126);
        if (fileSizeLimit > 0) {  // a write past the limit then fails with EFBIG instead of a signal
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
        }
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) {
        run.startError = std::string("fork failed: ") + std::strerror(errno);
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    pid_t waited = 0;
    while ((waited = ::waitpid(pid, &status, WNOHANG)) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            run.timedOut = true;
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (waited == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    return run;
}

bool CanLimitFileSize() { return true; }

long ThreadCount() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return std::distance(begin(tasks), end(tasks));
}

uint64_t CurrentProcessId() { return static_cast<uint64_t>(::getpid()); }

std::filesystem::path MakeTemporaryDirectory(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

void WriteUnbuffered(const char* text) {
    if (::write(STDOUT_FILENO, text, std::strlen(text)) < 0) _exit(3);
}

void EndProcessAfter(std::chrono::seconds limit) {
    // The default action of SIGALRM ends the process; the exit status only has to be non-zero.
    ::alarm(static_cast<unsigned>(limit.count()));
}

FileHold::FileHold(const std::filesystem::path& path) : handle_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

FileHold::~FileHold() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool FileHold::Held() const { return handle_ >= 0; }

SharedLibrary::SharedLibrary(const std::string& path) : handle_(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) error_ = ::dlerror();
}

SharedLibrary::~SharedLibrary() { Unload(); }

void* SharedLibrary::Symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

bool SharedLibrary::Unload() {
    if (handle_ == nullptr) return false;
    const bool unloaded = ::dlclose(handle_) == 0;
    handle_ = nullptr;
    return unloaded;
}

bool SharedLibrary::IsMapped(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    ::dlclose(handle);  // RTLD_NOLOAD still counted one more reference
    return true;
}

}  // namespace framedec::testing
