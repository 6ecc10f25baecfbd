// Writing a whole file through a TemporaryOutput; the temporary file itself is platform code
// (output_file_posix.cpp, output_file_windows.cpp).
#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "synth/file_path.h"

namespace framedec::cli {

std::string TemporaryPathBeside(const std::string& target, uint64_t processId, unsigned counter) {
    const std::string name = "framedec-" + std::to_string(processId) + "-" + std::to_string(counter) + ".tmp";
    return tools::Utf8FromPath(tools::PathFromUtf8(target).parent_path() / name);
}

bool WriteFileAtomically(const std::string& path, const FileContents& contents, std::string& error) {
    TemporaryOutput output;
    if (!output.Create(path, error)) return false;
    std::string stop;
    errno = 0;
    if (!contents(output.file(), stop)) {
        error = stop.empty() ? "cannot write '" + path + "': " + std::strerror(errno) : stop;
        return false;
    }
    return output.Commit(error);
}

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string& error) {
    const FileContents whole = [&](std::FILE* file, std::string&) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    };
    return WriteFileAtomically(path, whole, error);
}

}  // namespace framedec::cli
