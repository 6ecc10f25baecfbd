#include "output_file.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace framedec::cli {
namespace {

std::wstring Wide(const std::string& path) { return std::filesystem::path(path).wstring(); }

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

TemporaryOutput::~TemporaryOutput() { Remove(); }

void TemporaryOutput::Remove() {
    if (!temporary_.empty()) DeleteFileW(Wide(temporary_).c_str());
    temporary_.clear();
}

bool TemporaryOutput::Create(const std::string& target, std::string& error) {
    Remove();
    // The temporary name lies in the target's directory (a move within one volume replaces the
    // target in one step) and is unique to this process; CREATE_NEW never reuses a stranger's file.
    static unsigned counter = 0;
    DWORD failure = ERROR_SUCCESS;
    std::string name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
        const HANDLE file = CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            target_ = target;
            temporary_ = name;
            return true;
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
    const HANDLE file = CreateFileW(Wide(temporary_).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
    const DWORD flushFailure = GetLastError();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!flushed) {
        error = CannotWrite(target_, flushFailure, temporary_);
        Remove();
        return false;
    }
    if (!MoveFileExW(Wide(temporary_).c_str(), Wide(target_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = CannotWrite(target_, GetLastError(), target_);
        Remove();
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace framedec::cli
