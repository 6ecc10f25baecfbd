// Windows: ReadFile on the stream's handle with the offset in an OVERLAPPED structure. On a handle
// opened for synchronous access this reads at that offset and waits for the bytes.
#include "recording/positioned_read.h"

#include <io.h>
#include <windows.h>

#include <cerrno>

namespace framedec::tools {

constexpr DWORD kLargestRead = DWORD{1} << 30;  // ReadFile takes 32-bit sizes

ReadResult ReadAtOffset(std::FILE* file, uint64_t offset, uint8_t* bytes, std::size_t size) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return ReadResult::Failed;
    }
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD wanted = size < kLargestRead ? static_cast<DWORD>(size) : kLargestRead;
        DWORD got = 0;
        if (!ReadFile(handle, bytes, wanted, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) return ReadResult::EndOfFile;
            errno = EIO;
            return ReadResult::Failed;
        }
        if (got == 0) return ReadResult::EndOfFile;
        bytes += got;
        offset += got;
        size -= got;
    }
    return ReadResult::Complete;
}

}  // namespace framedec::tools
