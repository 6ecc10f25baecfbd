#include "recording/sequence_tracker.h"

#include <algorithm>

namespace framedec::tools {
namespace {

// Steps modulo 65536: 1 to 32768 is ahead, 0 and the rest are equal or behind.
constexpr uint16_t kLargestStepAhead = 32768;
// Stray numbers kept since the newest: enough for any burst of strays that sits in a gap.
constexpr std::size_t kStraysKept = 64;

bool IsAhead(uint16_t from, uint16_t to) {
    const uint16_t step = static_cast<uint16_t>(to - from);
    return step >= 1 && step <= kLargestStepAhead;
}

// to counts on from `from`: 1 to kSequenceLookAhead ahead of it.
bool ContinuesFrom(uint16_t from, uint16_t to) {
    const uint16_t step = static_cast<uint16_t>(to - from);
    return step >= 1 && step <= kSequenceLookAhead;
}

}  // namespace

std::vector<uint16_t> DroppedRun::MissingNumbers() const {
    std::vector<uint16_t> missing;
    missing.reserve(count);
    std::size_t skip = 0;
    for (uint16_t n = static_cast<uint16_t>(after + 1); missing.size() < count; ++n) {
        if (skip < present.size() && present[skip] == n) {
            ++skip;
            continue;
        }
        missing.push_back(n);
    }
    return missing;
}

void SequenceTracker::Add(uint16_t sequenceNo) {
    pending_.push_back(sequenceNo);
    if (pending_.size() > kSequenceLookAhead) DecideFront();
}

void SequenceTracker::Finish() {
    while (!pending_.empty()) DecideFront();
}

void SequenceTracker::DecideFront() {
    const uint16_t number = pending_.front();
    DroppedRun gap;
    const SequenceStep step = Decide(number, pending_.size() - 1, gap);
    const uint64_t index = decided_++;
    if (step.droppedBefore > 0) {
        gap.index = index;
        dropped_.push_back(std::move(gap));
    }
    if (step.repeated) {
        repeated_.push_back(index);
        repeatedNumbers_.push_back({number, newestBefore_});
    }
    if (step.reset) resets_.push_back(index);
    pending_.pop_front();
    if (visitor_) visitor_(index, number, step);
}

void SequenceTracker::StartRun(uint16_t number) {
    started_ = true;
    newest_ = number;
    strays_.clear();
}

SequenceStep SequenceTracker::Decide(uint16_t number, std::size_t following, DroppedRun& gap) {
    newestBefore_ = newest_;
    if (!started_ || static_cast<uint16_t>(number - newest_) == 1) {
        StartRun(number);
        return {};
    }
    return IsAhead(newest_, number) ? DecideAhead(number, following, gap) : DecideBehind(number, following);
}

SequenceStep SequenceTracker::DecideAhead(uint16_t number, std::size_t following, DroppedRun& gap) {
    SequenceStep result;
    bool confirmed = following == 0;  // the last frame: nothing can confirm or contradict it
    for (std::size_t j = 0; j < following; ++j) confirmed = confirmed || ContinuesFrom(number, Following(j));
    if (!confirmed) {
        result.repeated = true;
        if (strays_.size() < kStraysKept) strays_.push_back(number);
        return result;
    }
    // The skipped numbers that came all the same: late (after this frame) or early (strays).
    const uint16_t step = static_cast<uint16_t>(number - newest_);
    const auto inGap = [&](uint16_t n) { return IsAhead(newest_, n) && static_cast<uint16_t>(n - newest_) < step; };
    std::vector<uint16_t> present;
    const auto note = [&](uint16_t n) {
        if (inGap(n) && std::find(present.begin(), present.end(), n) == present.end()) present.push_back(n);
    };
    for (std::size_t j = 0; j < following; ++j) note(Following(j));
    result.repeated = !present.empty();  // it came before numbers below it
    std::vector<uint16_t> late = present;
    for (const uint16_t stray : strays_) note(stray);
    uint32_t missing = step - 1u - static_cast<uint32_t>(present.size());
    const auto fillers = static_cast<uint32_t>(
        std::count_if(strays_.begin(), strays_.end(), [&](uint16_t n) { return !inGap(n) && n != newest_; }));
    // The strays are the missing frames, with corrupt numbers (unless more came than were kept).
    if (fillers == missing && strays_.size() < kStraysKept) missing = 0;
    if (missing > 0) {
        std::sort(present.begin(), present.end(), [&](uint16_t a, uint16_t b) {
            return static_cast<uint16_t>(a - newest_) < static_cast<uint16_t>(b - newest_);
        });
        gap = {0, missing, newest_, std::move(present)};
        result.droppedBefore = missing;
    }
    StartRun(number);
    late_ = std::move(late);
    return result;
}

SequenceStep SequenceTracker::DecideBehind(uint16_t number, std::size_t following) {
    SequenceStep result;
    // A counter reset if the frames after it count on from it, staying behind the newest.
    bool reset = following >= kResetConfirmations;
    for (std::size_t j = 0; reset && j < kResetConfirmations; ++j)
        reset = ContinuesFrom(j == 0 ? number : Following(j - 1), Following(j)) && !IsAhead(newest_, Following(j));
    if (reset) {
        result.reset = true;
        StartRun(number);
        late_.clear();
        return result;
    }
    result.repeated = true;
    // A late number that a gap already counted as present is no stray that could fill another gap.
    if (const auto late = std::find(late_.begin(), late_.end(), number); late != late_.end())
        late_.erase(late);
    else if (number != newest_ && strays_.size() < kStraysKept)
        strays_.push_back(number);
    return result;
}

uint64_t SequenceTracker::droppedFrames() const {
    uint64_t total = 0;
    for (const DroppedRun& run : dropped_) total += run.count;
    return total;
}

SequenceTracker TrackSequence(std::span<const uint16_t> numbers) {
    SequenceTracker tracker;
    for (const uint16_t number : numbers) tracker.Add(number);
    tracker.Finish();
    return tracker;
}

}  // namespace framedec::tools
