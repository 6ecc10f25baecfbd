// Writing a whole file through a TemporaryOutput; the temporary file itself is platform code
// (output_file_posix.cpp, output_file_windows.cpp).
#include "platform/output_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "synth/file_path.h"

namespace framedec::cli {

std::string TemporaryPathBeside(const std::string& target, uint64_t processId, unsigned counter) {
    const std::string name = "framedec-" + std::to_string(processId) + "-" + std::to_string(counter) + ".tmp";
    return tools::Utf8FromPath(tools::PathFromUtf8(target).parent_path() / name);
}

namespace {

// The process id in "framedec-PID-N.tmp", or false for any other name.
bool TemporaryNameProcess(const std::string& name, uint64_t& processId) {
    constexpr std::string_view kPrefix = "framedec-", kSuffix = ".tmp";
    if (name.size() <= kPrefix.size() + kSuffix.size() || name.compare(0, kPrefix.size(), kPrefix) != 0 ||
        name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
        return false;
    const std::string_view middle =
        std::string_view(name).substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    const std::size_t dash = middle.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == middle.size()) return false;
    const auto digits = [](std::string_view text) {
        return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(middle.substr(0, dash)) || !digits(middle.substr(dash + 1)) || dash > 19) return false;
    processId = std::stoull(std::string(middle.substr(0, dash)));
    return true;
}

}  // namespace

std::string InputThatIsTheOutput(const std::string& output, std::span<const std::string> inputs) {
    FileIdentity out, in;
    if (!IdentifyFile(output, out)) return {};
    for (const std::string& input : inputs)
        if (IdentifyFile(input, in) && in == out) return input;
    return {};
}

void RemoveStaleTemporaries(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path path = tools::PathFromUtf8(folder.empty() ? "." : folder);
    std::filesystem::directory_iterator entries(path, error);
    if (error) return;  // the write itself will say what is wrong with the folder
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const std::filesystem::directory_entry& entry : entries) {
        uint64_t processId = 0;
        if (!TemporaryNameProcess(tools::Utf8FromPath(entry.path().filename()), processId)) continue;
        const auto written = entry.last_write_time(error);
        if (error || !entry.is_regular_file(error) || now - written < std::chrono::seconds(kStaleAfterSeconds) ||
            ProcessIsRunning(processId))
            continue;
        std::filesystem::remove(entry.path(), error);  // another convert may have removed it first
    }
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
