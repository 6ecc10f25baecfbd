// A recording: a file of back-to-back compressed frames of one height, as the camera writes them.
// Shared by the command-line tool and the Python package: how a file splits into whole frames,
// which sequence numbers were dropped or came again, and whether the frame height is right.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "recording/sequence_tracker.h"

namespace framedec::tools {

struct RecordingLayout {
    uint64_t frameBytes = 0;     // bytes per frame: height x 320
    uint64_t frames = 0;         // whole frames in the file
    uint64_t trailingBytes = 0;  // bytes of a last frame cut short (never read as a frame)
};

// frameHeight must be a valid frame height (a multiple of 8 from 8 to 1024).
RecordingLayout LayoutOfRecording(uint64_t fileBytes, uint32_t frameHeight);

// How a frame height is checked: at the right height the sequence numbers run (most steps from
// one frame to the next are +1); at a wrong one every number read is image bytes or a far frame's.
// A long recording is checked on this many steps spread evenly over it, a shorter one on all.
inline constexpr uint64_t kCheckedSteps = 1000;

struct SequenceRun {
    uint64_t steps = 0;  // steps checked
    uint64_t ones = 0;   // of them +1

    // Fewer than three frames (one step) tell nothing about the height.
    bool Decided() const { return steps >= 2; }
    // At least half the checked steps are +1.
    bool Runs() const { return !Decided() || 2 * ones >= steps; }
};

// The first frame of each checked step (frame i to i + 1) of a recording of this many frames.
std::vector<uint64_t> CheckedSteps(uint64_t frames);

// Why a recording was not opened. The messages come with it as one line.
enum class RecordingProblem {
    None,
    CannotRead,     // the system refused (missing file, no permission, read error)
    NotAFile,       // a pipe, a device, a folder, or "-": frames are read by position
    NoWholeFrame,   // empty, or shorter than one frame of the height
    HeightWrong,    // the sequence numbers do not run at the given height
    HeightUnknown,  // no single height at which they run
};

// How the messages name the caller's options: the tool's "--height 1024" and "--force", the Python
// package's "height=1024" and "check=False".
struct OptionNames {
    std::string_view height = "--height";
    std::string_view valueSeparator = " ";
    std::string_view force = "--force";
};

struct OpenOptions {
    uint32_t height = 0;  // lines per frame, a multiple of 8 from 8 to 1024; 0: find it
    bool check = true;    // refuse a height at which the sequence numbers do not run
    OptionNames names;
};

// Reads a recording frame by frame, or a run of frames at a time, in bounded memory (no mapping, so
// files of any size work wherever 64-bit file offsets do). Reads are positioned: one system call
// each, no seek. Not thread-safe.
class RecordingReader {
public:
    RecordingReader() = default;
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // Opens a recording: a regular file that holds at least one whole frame. A given height is
    // checked unless options.check is false: when fewer than half the checked steps are +1 it is
    // refused, naming the height at which the numbers run if there is one. Height 0 takes the one
    // height at which they run, and refuses when no height or more than one does. On failure error
    // is one line naming the file.
    RecordingProblem Open(const std::string& path, const OpenOptions& options, std::string& error);
    uint32_t height() const { return height_; }
    const RecordingLayout& layout() const { return layout_; }

    // Reads count whole frames starting at frame index first into frames (resized to count x frame
    // bytes). The range must lie within the recording's whole frames.
    bool Read(uint64_t first, uint64_t count, std::vector<uint8_t>& frames, std::string& error);
    // The same into frames, which holds count x frame bytes.
    bool ReadInto(uint64_t first, uint64_t count, uint8_t* frames, std::string& error);

    // The sequence numbers of count frames from frame index first, reading only their two bytes
    // each (a scan of a long recording reads a small part of it). Same range rule as Read.
    bool ReadSequenceNumbers(uint64_t first, uint64_t count, std::vector<uint16_t>& numbers, std::string& error);

private:
    bool OpenFile(const std::string& path, std::string& error);
    // The steps checked at this height; with stopWhenDecided only until the rest cannot change
    // whether the numbers run (the height scan needs the answer, not the counts).
    bool MeasureRun(uint32_t height, bool stopWhenDecided, SequenceRun& run, std::string& error);
    // The heights at which the numbers run, among those giving three frames or more.
    bool HeightsThatRun(std::vector<uint32_t>& heights, std::string& error);
    // Whether the whole file may be two frames whose numbers step +1, or one frame: reading says
    // which ("two frames of 48 lines or one of 96"). error is set on a failed read.
    bool ShortReading(std::string& reading, std::string& error);
    bool ReadNumber(uint64_t frame, uint64_t frameBytes, uint16_t& number, std::string& error);
    bool CheckRange(uint64_t first, uint64_t count, std::string& error) const;
    bool ReadAt(uint64_t offset, uint8_t* bytes, std::size_t size, std::string& error);

    std::FILE* file_ = nullptr;
    std::string path_;
    uint64_t fileBytes_ = 0;
    uint32_t height_ = 0;
    RecordingLayout layout_;
};

}  // namespace framedec::tools
