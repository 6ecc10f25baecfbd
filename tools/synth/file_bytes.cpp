#include "synth/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace framedec::tools {

bool ReadFileBytes(const std::string& path, const std::string& kind, std::vector<uint8_t>& bytes, std::string& error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        error = "cannot open " + kind + " '" + path + "': " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    uint8_t buffer[1 << 16];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (got < sizeof buffer) break;
    }
    // A directory opens but fails to read (EISDIR).
    if (std::ferror(file.get())) {
        error = "cannot read " + kind + " '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace framedec::tools
