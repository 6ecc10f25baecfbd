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

// Which file a path names, the same through every name of it (".", "..", symbolic and hard links):
// the device and inode on POSIX, the volume serial number and file index on Windows.
struct FileIdentity {
    uint64_t volume = 0, file = 0;
    bool operator==(const FileIdentity&) const = default;
};

// False when the path names no file that can be identified (it does not exist, for instance).
bool IdentifyFile(const std::string& path, FileIdentity& identity);

// The first of inputs that is the same file as output, or empty when none is (or output does not
// exist): an output written over its own input would destroy what it is made from.
std::string InputThatIsTheOutput(const std::string& output, std::span<const std::string> inputs);

// Whether the process that wrote a temporary file is still running on this machine (a process
// id that is in use counts, whoever holds it now).
bool ProcessIsRunning(uint64_t processId);

// Removes the temporary files of writers that were killed: those in folder named as
// TemporaryPathBeside names them, whose process no longer runs and which nothing has written for
// kStaleAfterSeconds (so that a writer on another machine sharing the folder is left alone).
inline constexpr int kStaleAfterSeconds = 60;
void RemoveStaleTemporaries(const std::string& folder);

// Writes the contents of an open file. Returns false after a failed write (errno says why), or
// with stop set to the whole error line when it gives up for another reason (an interrupt).
using FileContents = std::function<bool(std::FILE* file, std::string& stop)>;

// Writes the file through a TemporaryOutput. On failure nothing is left behind and error names the
// file and the reason.
bool WriteFileAtomically(const std::string& path, const FileContents& contents, std::string& error);
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

}  // namespace framedec::cli
