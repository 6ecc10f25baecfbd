#include "synth/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace framedec::tools {

bool ReadFileBytes(const std::string& path, const std::string& kind, std::vector<uint8_t>& bytes, std::string& error) {
    // A directory is refused by name: some systems open one and fail the read, Windows fails the open.
    std::error_code ignored;
    if (std::filesystem::is_directory(std::filesystem::path(path), ignored)) {
        error = "cannot read " + kind + " '" + path + "': " + std::strerror(EISDIR);
        return false;
    }
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
    if (std::ferror(file.get())) {
        error = "cannot read " + kind + " '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace framedec::tools
