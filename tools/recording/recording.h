// A recording: a file of back-to-back compressed frames of one height, as the camera writes them.
// Shared by the command-line tool and the Python package: how a file splits into whole frames,
// which sequence numbers were dropped or came again, and whether the frame height is right.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace framedec::tools {

struct RecordingLayout {
    uint64_t frameBytes = 0;     // bytes per frame: height x 320
    uint64_t frames = 0;         // whole frames in the file
    uint64_t trailingBytes = 0;  // bytes of a last frame cut short (never read as a frame)
};

// frameHeight must be a valid frame height (a multiple of 8 from 8 to 1024).
RecordingLayout LayoutOfRecording(uint64_t fileBytes, uint32_t frameHeight);

// How sequence numbers follow the camera. Numbers count modulo 65536 (65535 then 0 is no gap) and
// each frame is read against the newest number of the run so far, with a look at the frames after it:
// - a step of 1 is the next frame;
// - a step of 2 to 32768 is a jump ahead: a gap of the numbers skipped, unless none of the next
//   kSequenceLookAhead frames continues from it (1 to kSequenceLookAhead ahead of it): then it is one
//   stray frame (out of order or a corrupt number) and moves nothing. Skipped numbers that do come
//   within the look-ahead are no drop, and the frame that came before them is out of order (a swap
//   of neighbours is two frames out of order and no drop). Strays that sit where the missing numbers
//   belong, as many as are missing, are those frames with corrupt numbers: no drop either. A jump
//   in the last frame, which nothing after it can confirm or contradict, is taken as a gap;
// - a step of 0 (a repeat) or of more than 32768 (behind) is a stale or out-of-order frame that moves
//   nothing, unless the next kResetConfirmations frames count on from it while staying behind the
//   newest: then the camera restarted its counter, and a new run starts at it in which drops count
//   again. The last frame is never read as a reset (a stale copy is likelier).
// A number far behind and a drop of more than 32767 frames cannot be told apart (nor a reset to a
// number up to 32768 ahead and a drop): the smaller reading is taken.
inline constexpr uint32_t kSequenceLookAhead = 4;
inline constexpr uint32_t kResetConfirmations = 2;

// What one frame's sequence number says.
struct SequenceStep {
    uint32_t droppedBefore = 0;  // numbers missing between the newest and this one
    bool repeated = false;       // a repeat, out of order or stray: not where the run expects it
    bool reset = false;          // the counter restarted here: the first frame of a new run
};

struct DroppedRun {
    uint64_t index = 0;             // the frame that follows the gap
    uint32_t count = 0;             // sequence numbers missing before it
    uint16_t after = 0;             // the newest number before the gap
    std::vector<uint16_t> present;  // numbers of the gap that came out of order (not missing)

    // The missing numbers, in order: after + 1 on, skipping those present.
    std::vector<uint16_t> MissingNumbers() const;
};

// A repeated, out-of-order or stray frame's number, and the newest number seen when it came.
struct RepeatedNumber {
    uint16_t sequenceNo = 0;
    uint16_t newest = 0;
};

// Follows the sequence numbers of a recording in order, in bounded memory: each frame is decided
// once the kSequenceLookAhead frames after it have been added (or Finish is called), and handed
// to the visitor, if any, in frame order.
class SequenceTracker {
public:
    using Visitor = std::function<void(uint64_t index, uint16_t sequenceNo, const SequenceStep& step)>;

    explicit SequenceTracker(Visitor visitor = {}) : visitor_(std::move(visitor)) {}

    void Add(uint16_t sequenceNo);
    // Decides the frames still waiting for frames after them; call once, after the last Add.
    void Finish();

    uint64_t frames() const { return decided_; }  // decided so far
    const std::vector<DroppedRun>& dropped() const { return dropped_; }
    const std::vector<uint64_t>& repeated() const { return repeated_; }  // frame indices
    const std::vector<RepeatedNumber>& repeatedNumbers() const { return repeatedNumbers_; }  // in the same order
    const std::vector<uint64_t>& resets() const { return resets_; }  // the first frame of each new run
    uint64_t droppedFrames() const;

private:
    void DecideFront();
    SequenceStep Decide(uint16_t number, std::size_t following, DroppedRun& gap);

    Visitor visitor_;
    std::deque<uint16_t> pending_;  // the frame to decide next and the ones after it
    bool started_ = false;
    uint16_t newest_ = 0;
    uint16_t newestBefore_ = 0;  // the newest when the frame being decided came
    std::vector<uint16_t> strays_;  // stray numbers since the newest (a few at most are kept)
    std::vector<uint16_t> late_;    // numbers the last gap expects to come late
    uint64_t decided_ = 0;
    std::vector<DroppedRun> dropped_;
    std::vector<uint64_t> repeated_;
    std::vector<RepeatedNumber> repeatedNumbers_;
    std::vector<uint64_t> resets_;
};

// The whole list at once: a tracker given every number, finished.
SequenceTracker TrackSequence(std::span<const uint16_t> numbers);

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
// files of any size work wherever 64-bit file offsets do). Not thread-safe.
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

    // The sequence numbers of count frames from frame index first, reading only their two bytes
    // each (a scan of a long recording reads a small part of it). Same range rule as Read.
    bool ReadSequenceNumbers(uint64_t first, uint64_t count, std::vector<uint16_t>& numbers, std::string& error);

private:
    bool OpenFile(const std::string& path, std::string& error);
    bool MeasureRun(uint32_t height, SequenceRun& run, std::string& error);
    // The heights at which the numbers run, among those giving three frames or more.
    bool HeightsThatRun(std::vector<uint32_t>& heights, std::string& error);
    // Whether the whole file may be one frame, or two whose numbers step +1, of a height that gives
    // fewer than three frames: reading says which ("one frame of 576 lines"). error is set on a
    // failed read.
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
