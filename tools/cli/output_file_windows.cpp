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

bool WriteAll(HANDLE file, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes = bytes.subspan(written);
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string& error) {
    // The temporary name lies in the target's directory (a move within one volume replaces the
    // target in one step) and is unique to this process; CREATE_NEW never reuses a stranger's file.
    // Handles are binary: the bytes land as given.
    static unsigned counter = 0;
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD failure = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
        file = CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        failure = GetLastError();
        if (file == INVALID_HANDLE_VALUE && failure != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot write '" + path + "': " + Reason(failure, temporary);
        return false;
    }
    const bool written = WriteAll(file, bytes) && FlushFileBuffers(file);
    failure = GetLastError();
    const bool closed = CloseHandle(file) != 0;
    if (!written || !closed) {
        error = "cannot write '" + path + "': " + Reason(written ? GetLastError() : failure, temporary);
        DeleteFileW(Wide(temporary).c_str());
        return false;
    }
    // Replaces an existing file in one step; rename() would refuse it.
    if (!MoveFileExW(Wide(temporary).c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot write '" + path + "': " + Reason(GetLastError(), path);
        DeleteFileW(Wide(temporary).c_str());
        return false;
    }
    return true;
}

}  // namespace framedec::cli
