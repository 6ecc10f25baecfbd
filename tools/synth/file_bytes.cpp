#include "synth/file_bytes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "synth/file_path.h"

namespace framedec::tools {

bool ReadFileBytes(const std::string& path, const std::string& kind, std::size_t maxBytes, std::vector<uint8_t>& bytes,
                   std::string& error) {
    if (path == "-") {
        error = kind + " '-' would be standard input: give a file (or a pipe such as /dev/stdin)";
        return false;
    }
    // A directory is refused by name: some systems open one and fail the read, Windows fails the open.
    std::error_code ignored;
    if (std::filesystem::is_directory(PathFromUtf8(path), ignored)) {
        error = "cannot read " + kind + " '" + path + "': " + std::strerror(EISDIR);
        return false;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenUtf8Path(path, "rb"), &std::fclose);
    if (!file) {
        error = "cannot open " + kind + " '" + path + "': " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    uint8_t buffer[1 << 16];
    for (;;) {
        const std::size_t wanted = std::min(sizeof buffer, maxBytes - std::min(maxBytes, bytes.size()) + 1);
        const std::size_t got = std::fread(buffer, 1, wanted, file.get());
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (got < wanted || bytes.size() > maxBytes) break;
    }
    if (std::ferror(file.get())) {
        error = "cannot read " + kind + " '" + path + "': " + std::strerror(errno);
        return false;
    }
    if (bytes.size() > maxBytes) {
        error = kind + " '" + path + "' is larger than " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    return true;
}

}  // namespace framedec::tools
