// Counts in the tool's reports, with the noun agreeing in number ("1 frame", "2 frames").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace framedec::cli {

// The noun's plural adds an s (frame, thread, page, file, gap, run, strip).
inline std::string CountText(uint64_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

}  // namespace framedec::cli
