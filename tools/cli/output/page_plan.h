// Which frame each page of a conversion holds. Normally page i is the i-th converted frame; with
// blanks for dropped frames, a gap of n dropped frames gets n blank pages, so that the page index
// follows the camera's count (repeated frames keep their pages: nothing read is left out). Only
// confirmed gaps are filled, each blank labelled with a number that is in no frame of the file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "recording/recording.h"

namespace framedec::cli {

struct PageContent {
    bool dropped = false;     // a blank page in a dropped frame's place
    uint64_t frame = 0;       // otherwise: the frame, counted from the first converted one
    uint16_t sequenceNo = 0;  // the page's sequence number (the dropped one's, for a blank page)
};

class PagePlan {
public:
    // numbers: the converted frames' sequence numbers; tracker: those numbers followed in order.
    PagePlan(std::span<const uint16_t> numbers, const tools::SequenceTracker& tracker, bool fillDropped);

    uint64_t pages() const { return pages_; }
    PageContent At(uint64_t page) const;

private:
    struct Gap {
        uint64_t firstPage = 0;           // the first blank page
        uint64_t frameAfter = 0;          // the frame that follows the gap
        std::vector<uint16_t> missing;    // the dropped sequence numbers, one blank page each
    };

    std::span<const uint16_t> numbers_;
    std::vector<Gap> gaps_;  // in page order
    uint64_t pages_ = 0;
};

}  // namespace framedec::cli
