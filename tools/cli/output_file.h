// Output files are written whole or not at all: into a temporary file beside the target, then
// renamed over it, so a failed or interrupted write never leaves a partial file under its name.
// The one place where the tool creates, flushes, renames and removes files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>

namespace framedec::cli {

// A file written under a temporary name beside its target, for outputs written bit by bit or by a
// library that opens files by path (libtiff). Commit flushes it to disk and renames it over the
// target; until then the target is untouched. Dropped uncommitted, it removes its file.
class TemporaryOutput {
public:
    TemporaryOutput() = default;
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    // Creates the temporary file, empty. On failure error names the target and the reason.
    bool Create(const std::string& target, std::string& error);
    // Where to write; the file must be closed before Commit.
    const std::string& path() const { return temporary_; }
    // Flushes the written file to disk and renames it over the target.
    bool Commit(std::string& error);

private:
    void Remove();

    std::string target_, temporary_;
};

// Writes the contents of an open file. Returns false after a failed write (errno says why), or
// with stop set to the whole error line when it gives up for another reason (an interrupt).
using FileContents = std::function<bool(std::FILE* file, std::string& stop)>;

// Writes the file through a TemporaryOutput. On failure nothing is left behind and error names the
// file and the reason.
bool WriteFileAtomically(const std::string& path, const FileContents& contents, std::string& error);
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

}  // namespace framedec::cli
