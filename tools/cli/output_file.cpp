// Writing a whole file through a TemporaryOutput; the temporary file itself is platform code
// (output_file_posix.cpp, output_file_windows.cpp).
#include "output_file.h"

#include <cerrno>
#include <cstring>

namespace framedec::cli {

bool WriteFileAtomically(const std::string& path, const FileContents& contents, std::string& error) {
    TemporaryOutput output;
    if (!output.Create(path, error)) return false;
    std::FILE* file = std::fopen(output.path().c_str(), "wb");
    std::string stop;
    bool written = file != nullptr && contents(file, stop);
    int writeErrno = errno;
    if (file != nullptr && std::fclose(file) != 0 && written) {
        written = false;
        writeErrno = errno;
    }
    if (!written) {
        error = stop.empty() ? "cannot write '" + path + "': " + std::strerror(writeErrno) : stop;
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
