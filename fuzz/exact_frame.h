// A frame buffer that holds exactly what a call may read.
//
// The buffer reaches from frame byte 0 to the last byte the call may read, so a read past it is an
// overflow, and every byte inside it that the call must not read is marked unreadable
// (AddressSanitizer poisoning, or no-access under valgrind). A read of any byte outside the given
// ranges is reported at once. Without either tool the frame is an ordinary buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace framedec::fuzz {

struct ByteRange {
    std::size_t begin;  // frame byte offsets: [begin, end)
    std::size_t end;
};

class ExactFrame {
public:
    // readable: the ranges the call may read, in any order, possibly overlapping; empty for a call
    // that must read nothing. They are filled in address order with content, repeated as often as
    // needed (zeros when content is empty).
    ExactFrame(std::vector<ByteRange> readable, std::span<const uint8_t> content);
    ~ExactFrame();
    ExactFrame(const ExactFrame&) = delete;
    ExactFrame& operator=(const ExactFrame&) = delete;

    const uint8_t* frame() const { return frame_; }

private:
    std::size_t bufferBytes_;
    std::unique_ptr<uint8_t[]> buffer_;
    uint8_t* frame_;
};

}  // namespace framedec::fuzz
