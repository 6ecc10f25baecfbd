// Geometry of the camera's compressed frame: the one place these numbers are written down.
//
// A frame of H lines (H a multiple of 8) is H / 8 block rows of 2560 bytes. Each row starts with a
// 4-byte lead-in, then 156 slots of 16 bytes (one per 8 x 8 block column), then a 60-byte tail.
// Seen from frame byte 4 on, the frame is an unbroken grid of 160 16-byte positions per row: 0 to
// 155 are slots, 156 to 159 cover a row's tail and the next row's lead-in.
#pragma once

#include <cstddef>
#include <cstdint>

namespace framedec {

inline constexpr uint32_t kBlockSize = 8;             // pixels per block side
inline constexpr uint32_t kBlockPixels = 64;          // pixels (and coefficients) per block
inline constexpr uint32_t kSlotBytes = 16;            // bytes per block slot
inline constexpr uint32_t kSlotBits = 128;            // bits per block slot
inline constexpr uint32_t kRowLeadInBytes = 4;        // bytes before the first slot of a block row
inline constexpr uint32_t kBlockRowBytes = 2560;      // bytes per block row
inline constexpr uint32_t kSlotsPerRow = 156;         // real block slots per block row
inline constexpr uint32_t kGridPositionsPerRow = 160; // 16-byte positions per block row
inline constexpr uint32_t kFrameBytesPerLine = kBlockRowBytes / kBlockSize;  // 320

inline constexpr uint32_t kMaxImageWidth = 1246;      // pixels; 156 block columns, the last one cut to 6
inline constexpr uint32_t kMaxImageHeight = 1024;     // lines; 128 block rows
inline constexpr uint32_t kMaxBlockRows = kMaxImageHeight / kBlockSize;      // 128
inline constexpr uint32_t kPaddedImageWidth = kSlotsPerRow * kBlockSize;     // 1248
inline constexpr uint32_t kGridWidthPixels = kGridPositionsPerRow * kBlockSize;  // 1280

inline constexpr uint32_t kSequenceNoFromEnd = 14;    // low byte of the sequence number: H * 320 - 14

// The DC preview reads a 32-bit window from a slot's first non-zero byte on, so at grid position
// 159 of the last block row (a slot that already runs 4 bytes into the next row) it may read up to
// this many bytes past the frame's end. Callers that hold exactly a frame must pad a copy.
inline constexpr uint32_t kDcWindowBytesPastFrame = kRowLeadInBytes + 3;

// Byte offset of grid position (row, column) in a frame; columns 0 to 155 are block slots.
constexpr std::size_t SlotOffset(uint32_t blockRow, uint32_t blockColumn) {
    return std::size_t{blockRow} * kBlockRowBytes + kRowLeadInBytes + std::size_t{blockColumn} * kSlotBytes;
}

// Bytes of a compressed frame of the given height in lines.
constexpr std::size_t FrameBytes(uint32_t heightLines) {
    return std::size_t{heightLines} * kFrameBytesPerLine;
}

// Height in lines of a frame that is this many bytes long; 0 when no frame of 8 to 1024 lines has
// that size.
constexpr uint32_t FrameLinesOfBytes(uint64_t bytes) {
    if (bytes == 0 || bytes % kBlockRowBytes != 0 || bytes > FrameBytes(kMaxImageHeight)) return 0;
    return static_cast<uint32_t>(bytes / kFrameBytesPerLine);
}

static_assert(kSlotsPerRow * kSlotBytes + kRowLeadInBytes < kBlockRowBytes);
static_assert(kGridPositionsPerRow * kSlotBytes == kBlockRowBytes);
static_assert(FrameBytes(kMaxImageHeight) == 327680);
static_assert(FrameLinesOfBytes(2560) == 8 && FrameLinesOfBytes(2561) == 0 && FrameLinesOfBytes(327680 + 2560) == 0);

}  // namespace framedec
