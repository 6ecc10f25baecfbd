// Sequence numbers of a recording's frames followed as the camera counts them: which numbers were
// dropped, which frames came again or out of order, and where the camera restarted its counter.
// The one rule for the command-line tool and the Python package.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

namespace framedec::tools {

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
    SequenceStep DecideAhead(uint16_t number, std::size_t following, DroppedRun& gap);
    SequenceStep DecideBehind(uint16_t number, std::size_t following);
    uint16_t Following(std::size_t j) const { return pending_[1 + j]; }
    void StartRun(uint16_t number);

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

}  // namespace framedec::tools
