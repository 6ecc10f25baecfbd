#include "output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace framedec::cli {
namespace {

std::string CannotWrite(const std::string& path, int error) {
    return "cannot write '" + path + "': " + std::strerror(error);
}

}  // namespace

TemporaryOutput::~TemporaryOutput() { Remove(); }

void TemporaryOutput::Remove() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool TemporaryOutput::Create(const std::string& target, std::string& error) {
    Remove();
    // The temporary name lies in the target's directory (rename cannot cross file systems) and is
    // unique to this process; O_EXCL never reuses a stranger's file.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            target_ = target;
            temporary_ = name;
            return true;
        }
        if (errno != EEXIST) break;
    }
    error = CannotWrite(target, errno);
    return false;
}

bool TemporaryOutput::Commit(std::string& error) {
    const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    const int syncErrno = errno;
    if (fd >= 0) ::close(fd);
    if (!synced || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = CannotWrite(target_, synced ? errno : syncErrno);
        Remove();
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace framedec::cli
