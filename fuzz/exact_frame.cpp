#include "exact_frame.h"

#include <algorithm>

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif
#ifndef VALGRIND_MAKE_MEM_NOACCESS
#define VALGRIND_MAKE_MEM_NOACCESS(addr, size) ((void)(addr), (void)(size))
#define VALGRIND_MAKE_MEM_DEFINED(addr, size) ((void)(addr), (void)(size))
#endif

#include "codec/frame_geometry.h"

namespace framedec::fuzz {
namespace {

// AddressSanitizer marks memory in 8-byte granules, and a granule can only be readable from its
// start. Slots begin at frame byte 4 + 16c, so the frame starts 4 bytes into the (16-aligned)
// buffer: every slot then begins on a granule and the marks fall exactly on slot boundaries.
constexpr std::size_t kFrameOffset = kRowLeadInBytes;

std::vector<ByteRange> Merged(std::vector<ByteRange> ranges) {
    std::erase_if(ranges, [](const ByteRange& r) { return r.begin >= r.end; });
    std::sort(ranges.begin(), ranges.end(), [](const ByteRange& a, const ByteRange& b) { return a.begin < b.begin; });
    std::vector<ByteRange> merged;
    for (const ByteRange& r : ranges) {
        if (!merged.empty() && r.begin <= merged.back().end) {
            merged.back().end = std::max(merged.back().end, r.end);
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

}  // namespace

ExactFrame::ExactFrame(std::vector<ByteRange> readable, std::span<const uint8_t> content) {
    const std::vector<ByteRange> ranges = Merged(std::move(readable));
    const std::size_t frameBytes = ranges.empty() ? 0 : ranges.back().end;
    bufferBytes_ = kFrameOffset + frameBytes;
    buffer_.reset(new uint8_t[bufferBytes_]);
    frame_ = buffer_.get() + kFrameOffset;

    std::fill_n(buffer_.get(), bufferBytes_, uint8_t{0});
    std::size_t next = 0;
    for (const ByteRange& r : ranges) {
        for (std::size_t i = r.begin; i < r.end && !content.empty(); ++i) {
            frame_[i] = content[next];
            next = (next + 1) % content.size();
        }
    }

    ASAN_POISON_MEMORY_REGION(buffer_.get(), bufferBytes_);
    VALGRIND_MAKE_MEM_NOACCESS(buffer_.get(), bufferBytes_);
    for (const ByteRange& r : ranges) {  // in address order, as partial granules require
        ASAN_UNPOISON_MEMORY_REGION(frame_ + r.begin, r.end - r.begin);
        VALGRIND_MAKE_MEM_DEFINED(frame_ + r.begin, r.end - r.begin);
    }
}

ExactFrame::~ExactFrame() {
    ASAN_UNPOISON_MEMORY_REGION(buffer_.get(), bufferBytes_);
    VALGRIND_MAKE_MEM_DEFINED(buffer_.get(), bufferBytes_);
}

}  // namespace framedec::fuzz
