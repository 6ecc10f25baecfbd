// How a fuzz input becomes an export's arguments and frame bytes, and how the seed generator writes
// inputs in the same format.
//
// An input is read front to back: fixed-size fields first (32-bit little-endian words and single
// bytes), then the rest, which is the frame's content. Bytes past the end read as 0, so every input,
// however short, is a complete test case.
//
// Each numeric argument comes from one 32-bit field whose top three bits choose how the rest is
// read, so that most values land where the export's checks have edges and decodes stay small
// enough for many executions a second, while the far edges stay reachable:
//   111               the field as it is (far out of range; sums that wrap around in 32 bits);
//   110               the low 29 bits reduced to 0..limit (anywhere in and just past the range);
//   anything else     a small or aligned value (see Coordinate and Extent).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace framedec::fuzz {

inline constexpr uint32_t kModeBits = 0xE0000000u;
inline constexpr uint32_t kRawField = 0xE0000000u;
inline constexpr uint32_t kRangeField = 0xC0000000u;
inline constexpr uint32_t kSmallExtentLimit = 32;  // small extents: 0..32, four blocks in every alignment

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    uint8_t Byte();
    uint32_t Word();                       // four bytes, little-endian
    std::span<const uint8_t> Rest() const; // everything not yet read

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A left or top edge: small values are multiples of 8 (a block boundary in pixels, or any block
// when blockUnit is 1) up to limit.
uint32_t Coordinate(FuzzInput& input, uint32_t limit, uint32_t blockUnit);

// A width or height: small values are 0..32.
uint32_t Extent(FuzzInput& input, uint32_t limit);

// An output pitch for lines of rowBytes bytes: usually rowBytes plus 0..15; in range mode rowBytes
// plus 0..4095; in raw mode a pitch shorter than a line (lines overlap; nothing checks pitch).
uint64_t Pitch(FuzzInput& input, uint64_t rowBytes);

// Which of the call's pointerCount pointer arguments it gets as null: bit i for pointer i. Mostly none.
uint32_t NullPointers(FuzzInput& input, uint32_t pointerCount);

// The writer's side, for the seed generator: appends fields that read back as the given values.
struct FuzzInputWriter {
    void Byte(uint8_t value);
    void Word(uint32_t value);
    void Coordinate(uint32_t value, uint32_t limit, uint32_t blockUnit);
    void Extent(uint32_t value, uint32_t limit);
    void Pitch(uint64_t pitch, uint64_t rowBytes);
    void NullPointers(uint32_t mask);
    void Bytes(std::span<const uint8_t> bytes);
    std::vector<uint8_t> bytes;
};

}  // namespace framedec::fuzz
