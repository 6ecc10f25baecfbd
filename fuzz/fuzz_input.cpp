#include "fuzz_input.h"

#include <cstdio>
#include <cstdlib>

namespace framedec::fuzz {
namespace {

constexpr uint32_t kLowBits = ~kModeBits;  // the field without its mode bits
constexpr uint32_t kNullMarker = 0xF8;          // a null-pointer byte must carry these bits

[[noreturn]] void Unrepresentable(const char* what, uint64_t value) {
    std::fprintf(stderr, "fuzz input writer: %s %llu cannot be written\n", what,
                 static_cast<unsigned long long>(value));
    std::abort();
}

}  // namespace

uint8_t FuzzInput::Byte() { return position_ < size_ ? data_[position_++] : 0; }

uint32_t FuzzInput::Word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{Byte()} << (8 * i);
    return value;
}

std::span<const uint8_t> FuzzInput::Rest() const { return {data_ + position_, size_ - position_}; }

uint32_t Coordinate(FuzzInput& input, uint32_t limit, uint32_t blockUnit) {
    const uint32_t field = input.Word();
    if ((field & kModeBits) == kRawField) return field;
    if ((field & kModeBits) == kRangeField) return (field & kLowBits) % (limit + 1);
    return blockUnit * (field % (limit / blockUnit + 1));
}

uint32_t Extent(FuzzInput& input, uint32_t limit) {
    const uint32_t field = input.Word();
    if ((field & kModeBits) == kRawField) return field;
    if ((field & kModeBits) == kRangeField) return (field & kLowBits) % (limit + 1);
    return field % (kSmallExtentLimit + 1);
}

uint64_t Pitch(FuzzInput& input, uint64_t rowBytes) {
    const uint32_t field = input.Word();
    if ((field & kModeBits) == kRawField) return (field & kLowBits) % (rowBytes + 1);
    if ((field & kModeBits) == kRangeField) return rowBytes + (field & 4095u);
    return rowBytes + (field & 15u);
}

uint32_t NullPointers(FuzzInput& input, uint32_t pointerCount) {
    const uint8_t field = input.Byte();
    return (field & kNullMarker) == kNullMarker ? field & ((1u << pointerCount) - 1u) : 0u;
}

void FuzzInputWriter::Byte(uint8_t value) { bytes.push_back(value); }

void FuzzInputWriter::Word(uint32_t value) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(value >> (8 * i)));
}

void FuzzInputWriter::Coordinate(uint32_t value, uint32_t limit, uint32_t blockUnit) {
    if (value <= limit && value % blockUnit == 0) return Word(value / blockUnit);
    if (value <= limit) return Word(kRangeField | value);
    if ((value & kModeBits) == kRawField) return Word(value);
    Unrepresentable("coordinate", value);
}

void FuzzInputWriter::Extent(uint32_t value, uint32_t limit) {
    if (value <= kSmallExtentLimit) return Word(value);
    if (value <= limit) return Word(kRangeField | value);
    if ((value & kModeBits) == kRawField) return Word(value);
    Unrepresentable("extent", value);
}

void FuzzInputWriter::Pitch(uint64_t pitch, uint64_t rowBytes) {
    if (pitch >= rowBytes && pitch - rowBytes <= 15) return Word(static_cast<uint32_t>(pitch - rowBytes));
    if (pitch >= rowBytes && pitch - rowBytes <= 4095) return Word(kRangeField | static_cast<uint32_t>(pitch - rowBytes));
    if (pitch < rowBytes && pitch <= kLowBits) return Word(kRawField | static_cast<uint32_t>(pitch));
    Unrepresentable("pitch", pitch);
}

void FuzzInputWriter::NullPointers(uint32_t mask) { Byte(mask == 0 ? 0 : static_cast<uint8_t>(kNullMarker | mask)); }

void FuzzInputWriter::Bytes(std::span<const uint8_t> more) { bytes.insert(bytes.end(), more.begin(), more.end()); }

}  // namespace framedec::fuzz
