// Output files are written whole or not at all: into a temporary file beside the target that takes
// the target's name only when complete, so a failed, interrupted or killed write never leaves a
// partial file under its name. The one place where the tool creates, flushes, names and removes files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>

namespace framedec::cli {

// A file written beside its target, for outputs written bit by bit. Where the system can (Linux:
// O_TMPFILE) the file has no name until Commit links it under the target's, so not even a kill
// leaves anything behind; elsewhere, and on file systems that refuse unnamed files, it has a short
// temporary name in the target's folder. Commit flushes it to disk and puts it in the target's
// place in one step; until then the target is untouched. Dropped uncommitted, it leaves nothing.
class TemporaryOutput {
public:
    TemporaryOutput() = default;
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    // Creates the temporary file, empty. On failure error names the target and the reason.
    bool Create(const std::string& target, std::string& error);
    // The open file, for reading and writing, positioned at its start; closed by Commit.
    std::FILE* file() const { return file_; }
    // Flushes the written file to disk and puts it in place of the target.
    bool Commit(std::string& error);

private:
    void Discard();

    std::string target_;
    std::string temporary_;  // the temporary name; empty for an unnamed file
    std::FILE* file_ = nullptr;
};

// A temporary file's path in the target's folder, unique to this process and counter. The name is
// short and does not grow with the target's, so every name the file system accepts as a target
// (up to its 255-character limit) still works.
std::string TemporaryPathBeside(const std::string& target, uint64_t processId, unsigned counter);

// Writes the contents of an open file. Returns false after a failed write (errno says why), or
// with stop set to the whole error line when it gives up for another reason (an interrupt).
using FileContents = std::function<bool(std::FILE* file, std::string& stop)>;

// Writes the file through a TemporaryOutput. On failure nothing is left behind and error names the
// file and the reason.
bool WriteFileAtomically(const std::string& path, const FileContents& contents, std::string& error);
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

}  // namespace framedec::cli
