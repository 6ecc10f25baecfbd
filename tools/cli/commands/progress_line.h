// A progress line on standard error for long commands: frames done, frames per second and time
// left, redrawn in place a few times a second; nothing at all when nobody watches (standard error
// is not a terminal).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace framedec::cli {

class ProgressLine {
public:
    ProgressLine(uint64_t total, bool shown);
    ~ProgressLine() { Clear(); }

    void Update(uint64_t done);
    // Removes the line, before the command's closing report or its error.
    void Clear();
    double Seconds() const;

private:
    using Clock = std::chrono::steady_clock;

    const uint64_t total_;
    const bool shown_;
    const Clock::time_point start_ = Clock::now();
    Clock::time_point lastDrawn_ = start_;
    std::size_t drawnWidth_ = 0;
};

// "12 s", "3 min 05 s", "2 h 07 min".
std::string DurationText(double seconds);

}  // namespace framedec::cli
