#include "commands/progress_line.h"

#include <cstdio>

namespace framedec::cli {
namespace {

constexpr std::chrono::milliseconds kRedrawEvery{250};

}  // namespace

ProgressLine::ProgressLine(uint64_t total, bool shown) : total_(total), shown_(shown) {}

double ProgressLine::Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

void ProgressLine::Update(uint64_t done) {
    if (!shown_) return;
    const Clock::time_point now = Clock::now();
    if (now - lastDrawn_ < kRedrawEvery && done < total_) return;
    lastDrawn_ = now;
    const double seconds = Seconds();
    const double rate = seconds > 0 ? done / seconds : 0;
    std::string line = std::to_string(done) + " / " + std::to_string(total_) + " frames";
    if (rate > 0) {
        char text[64];
        std::snprintf(text, sizeof text, ", %.1f frames/s, ", rate);
        line += text + DurationText((total_ - done) / rate) + " left";
    }
    // Carriage return and padding rather than terminal control codes: every console understands them.
    const std::size_t width = line.size();
    if (line.size() < drawnWidth_) line.append(drawnWidth_ - line.size(), ' ');
    drawnWidth_ = width;
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
}

void ProgressLine::Clear() {
    if (!shown_ || drawnWidth_ == 0) return;
    std::fprintf(stderr, "\r%s\r", std::string(drawnWidth_, ' ').c_str());
    std::fflush(stderr);
    drawnWidth_ = 0;
}

std::string DurationText(double seconds) {
    const auto whole = static_cast<uint64_t>(seconds + 0.5);
    char text[64];
    if (whole < 60)
        std::snprintf(text, sizeof text, "%llu s", static_cast<unsigned long long>(whole));
    else if (whole < 3600)
        std::snprintf(text, sizeof text, "%llu min %02llu s", static_cast<unsigned long long>(whole / 60),
                      static_cast<unsigned long long>(whole % 60));
    else
        std::snprintf(text, sizeof text, "%llu h %02llu min", static_cast<unsigned long long>(whole / 3600),
                      static_cast<unsigned long long>(whole % 3600 / 60));
    return text;
}

}  // namespace framedec::cli
