#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/output_file.h"

namespace framedec::cli {
namespace {

std::string CannotWrite(const std::string& path, int error) {
    return "cannot write '" + path + "': " + std::strerror(error);
}

// Each temporary name this process tries is new (O_EXCL never takes a stranger's file).
unsigned nextTemporary = 0;
constexpr int kNameAttempts = 100;

// An unnamed file in the target's folder, or -1 with errno set. Commit links it through
// /proc/self/fd, so where that is missing the named fallback serves instead.
int CreateUnnamed(const std::string& target) {
#ifdef O_TMPFILE
    std::string folder = std::filesystem::path(target).parent_path().string();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0 && ::access("/proc/self/fd", X_OK) != 0) {
        ::close(fd);
        errno = EOPNOTSUPP;
        return -1;
    }
    return fd;
#else
    (void)target;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

// File systems (and kernels) without O_TMPFILE answer with one of these.
bool UnnamedRefused(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

}  // namespace

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return false;
    identity = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
    return true;
}

bool ProcessIsRunning(uint64_t processId) {
    if (processId == 0 || processId > static_cast<uint64_t>(INT32_MAX)) return false;
    // EPERM: it runs, under another user.
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

TemporaryOutput::~TemporaryOutput() { Discard(); }

void TemporaryOutput::Discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool TemporaryOutput::Create(const std::string& target, std::string& error) {
    Discard();
    // A folder under the target's name would only fail the final rename, after all the work.
    struct stat existing;
    if (::stat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        error = CannotWrite(target, EISDIR);
        return false;
    }
    std::string name;
    int fd = CreateUnnamed(target);
    for (int attempt = 0; fd < 0 && UnnamedRefused(errno) && attempt < kNameAttempts; ++attempt) {
        name = TemporaryPathBeside(target, static_cast<uint64_t>(::getpid()), nextTemporary++);
        fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) errno = EOPNOTSUPP;  // try the next name
    }
    if (fd < 0) {
        error = CannotWrite(target, errno);
        return false;
    }
    file_ = ::fdopen(fd, "w+b");
    if (file_ == nullptr) {
        error = CannotWrite(target, errno);
        ::close(fd);
        if (!name.empty()) ::unlink(name.c_str());
        return false;
    }
    target_ = target;
    temporary_ = name;
    return true;
}

bool TemporaryOutput::Commit(std::string& error) {
    const int fd = ::fileno(file_);
    bool placed = std::fflush(file_) == 0 && ::fsync(fd) == 0;
    if (placed && !temporary_.empty()) {
        placed = ::rename(temporary_.c_str(), target_.c_str()) == 0;
        if (placed) temporary_.clear();
    } else if (placed) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        placed = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0;
        // A link cannot replace the existing target: link under a temporary name, then rename that
        // over the target in one step.
        for (int attempt = 0; !placed && errno == EEXIST && attempt < kNameAttempts; ++attempt) {
            const std::string name = TemporaryPathBeside(target_, static_cast<uint64_t>(::getpid()), nextTemporary++);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) continue;
            temporary_ = name;
            placed = ::rename(name.c_str(), target_.c_str()) == 0;
            if (placed) temporary_.clear();
            break;
        }
    }
    if (!placed) {
        error = CannotWrite(target_, errno);
        Discard();
        return false;
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) error = CannotWrite(target_, errno);
    return closed;
}

}  // namespace framedec::cli
