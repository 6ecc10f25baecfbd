// POSIX: pread on the stream's descriptor.
#include "recording/positioned_read.h"

#include <unistd.h>

#include <cerrno>

namespace framedec::tools {

ReadResult ReadAtOffset(std::FILE* file, uint64_t offset, uint8_t* bytes, std::size_t size) {
    const int descriptor = fileno(file);
    while (size > 0) {
        const ssize_t got = pread(descriptor, bytes, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return ReadResult::Failed;
        if (got == 0) return ReadResult::EndOfFile;
        bytes += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<std::size_t>(got);
    }
    return ReadResult::Complete;
}

}  // namespace framedec::tools
