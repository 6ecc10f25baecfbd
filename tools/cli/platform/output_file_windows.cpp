#include "platform/output_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
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

// Moves the finished file over the target in one step (rename() would refuse to replace it) and
// returns the error, if any. A target that another program holds open (an indexer, a virus scanner,
// a viewer) cannot be replaced until it lets go, which such programs do within moments: the move is
// tried again for up to about two seconds.
DWORD ReplaceTarget(const std::wstring& temporary, const std::wstring& target) {
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    DWORD pause = 10;  // milliseconds, doubled up to kLongestPause
    constexpr DWORD kLongestPause = 250, kPatience = 2000;
    for (DWORD waited = 0;; waited += pause, pause = std::min(2 * pause, kLongestPause)) {
        if (MoveFileExW(temporary.c_str(), target.c_str(), kFlags)) return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        std::error_code ignored;
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                          (error == ERROR_ACCESS_DENIED && !std::filesystem::is_directory(target, ignored));
        if (!held || waited >= kPatience) return error;
        Sleep(pause);
    }
}

}  // namespace

bool IdentifyFile(const std::string& path, FileIdentity& identity) {
    // No access asked for: any file can be identified, also one that another program holds open.
    const HANDLE file = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    if (!known) return false;
    identity = {information.dwVolumeSerialNumber,
                (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
    return true;
}

bool ProcessIsRunning(uint64_t processId) {
    if (processId > UINT32_MAX) return false;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;  // it runs, out of our reach
    DWORD exitCode = 0;
    const bool running = GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

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
    if (const DWORD failure = ReplaceTarget(Wide(temporary_), Wide(target_)); failure != ERROR_SUCCESS) {
        error = CannotWrite(target_, failure, target_);
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace framedec::cli
