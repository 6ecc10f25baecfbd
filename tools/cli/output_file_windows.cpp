#include "output_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "synth/file_path.h"

namespace framedec::cli {
namespace {

std::wstring Wide(const std::string& path) { return tools::PathFromUtf8(path).wstring(); }

// The reason in the C library's words where Windows has a matching one, so that messages read as
// they do on other platforms.
std::string Reason(DWORD error, const std::string& path) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return std::strerror(ENOENT);
        case ERROR_ACCESS_DENIED: {
            std::error_code ignored;
            return std::strerror(std::filesystem::is_directory(Wide(path), ignored) ? EISDIR : EACCES);
        }
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return std::strerror(ENOSPC);
        default:
            return std::system_category().message(static_cast<int>(error));
    }
}

std::string CannotWrite(const std::string& target, DWORD error, const std::string& path) {
    return "cannot write '" + target + "': " + Reason(error, path);
}

}  // namespace

TemporaryOutput::~TemporaryOutput() { Discard(); }

void TemporaryOutput::Discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) DeleteFileW(Wide(temporary_).c_str());
    temporary_.clear();
}

bool TemporaryOutput::Create(const std::string& target, std::string& error) {
    Discard();
    // The temporary name lies in the target's directory (a move within one volume replaces the
    // target in one step) and is unique to this process; CREATE_NEW never reuses a stranger's file.
    static unsigned counter = 0;
    DWORD failure = ERROR_SUCCESS;
    std::string name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = TemporaryPathBeside(target, GetCurrentProcessId(), counter++);
        const HANDLE file = CreateFileW(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            // The writers write through the C library; the descriptor takes over the handle.
            const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
            file_ = fd < 0 ? nullptr : _fdopen(fd, "w+b");
            target_ = target;
            temporary_ = name;
            if (file_ != nullptr) return true;
            if (fd < 0) CloseHandle(file); else _close(fd);
            error = CannotWrite(target, ERROR_NOT_ENOUGH_MEMORY, name);
            Discard();
            return false;
        }
        failure = GetLastError();
        if (failure != ERROR_FILE_EXISTS) break;
    }
    error = CannotWrite(target, failure, name);
    return false;
}

bool TemporaryOutput::Commit(std::string& error) {
    // Flushed to disk first, then moved over the target in one step; rename() would refuse to
    // replace an existing file.
    if (std::fflush(file_) != 0) {
        error = "cannot write '" + target_ + "': " + std::strerror(errno);
        Discard();
        return false;
    }
    const bool flushed = FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_))));
    const DWORD flushFailure = GetLastError();
    std::fclose(file_);
    file_ = nullptr;
    if (!flushed) {
        error = CannotWrite(target_, flushFailure, temporary_);
        Discard();
        return false;
    }
    if (!MoveFileExW(Wide(temporary_).c_str(), Wide(target_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = CannotWrite(target_, GetLastError(), target_);
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace framedec::cli
