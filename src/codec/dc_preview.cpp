#include "codec/dc_preview.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "codec/frame_geometry.h"

namespace framedec {
namespace {

// Little-endian loads: a plain load on little-endian processors.
template <typename Word>
Word LoadLittleEndian(const uint8_t* p) {
    Word v;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, sizeof v);
    } else {
        v = 0;
        for (std::size_t i = sizeof v; i-- > 0;) v = static_cast<Word>(v << 8 | p[i]);
    }
    return v;
}

constexpr uint8_t ReverseByte(uint32_t b) {
    uint32_t r = 0;
    for (int i = 0; i < 8; ++i) r |= ((b >> i) & 1u) << (7 - i);
    return static_cast<uint8_t>(r);
}

struct ReverseTable {
    uint8_t bits[256];
};

constexpr ReverseTable MakeReverseTable() {
    ReverseTable t{};
    for (uint32_t b = 0; b < 256; ++b) t.bits[b] = ReverseByte(b);
    return t;
}

constexpr ReverseTable kReverse = MakeReverseTable();

// The fast equivalent of DcPreviewValue. Only the low 8 bits of the level reach the output, and
// the low 8 bits of a magnitude are its last 8 bits, so no bit-by-bit read and no reversal of
// more than one byte are needed:
//   - the first non-zero byte j comes from a trailing-zero count over two 64-bit words;
//   - in the 32-bit window at j, the marker is the lowest set bit, the size n the run of ones
//     above it, and the magnitude the n bits after the separator (first bit read at bit 0);
//   - m mod 256 is the magnitude's last min(n, 8) bits in reverse order: one table lookup.
uint8_t FastDcPreviewValue(const uint8_t* slot) {
    const uint64_t low = LoadLittleEndian<uint64_t>(slot), high = LoadLittleEndian<uint64_t>(slot + 8);
    if ((low | high) == 0) return 128;
    const uint32_t firstSetBit = low != 0 ? static_cast<uint32_t>(std::countr_zero(low))
                                          : 64u + static_cast<uint32_t>(std::countr_zero(high));
    const uint32_t j = firstSetBit >> 3;
    const uint32_t window = LoadLittleEndian<uint32_t>(slot + j);  // byte j is non-zero
    const uint64_t afterMarker = uint64_t{window} >> (std::countr_zero(window) + 1);  // bits past 31 read as 0
    const uint32_t size = static_cast<uint32_t>(std::countr_one(afterMarker));       // at most 31
    // Size 0 needs no special case: no magnitude bits, value 0.
    const uint32_t magnitudeBits = static_cast<uint32_t>(afterMarker >> (size + 1)) & ((1u << size) - 1u);
    const uint32_t magnitudeLow8 = kReverse.bits[((magnitudeBits << 8) >> size) & 0xFFu];
    const uint32_t negative = (magnitudeBits & 1u) - 1u;  // all ones when the first magnitude bit is 0
    const uint32_t value = magnitudeLow8 - (((1u << size) - 1u) & negative);
    return static_cast<uint8_t>(value + 128u);
}

}  // namespace

uint8_t DcPreviewValue(const uint8_t* slot) {
    uint32_t j = 0;
    while (j < kSlotBytes && slot[j] == 0) ++j;
    if (j == kSlotBytes) return 128;

    // The window in reading order, least significant bit first. Bits above 31 read as 0.
    const uint64_t window = uint64_t{slot[j]} | uint64_t{slot[j + 1]} << 8 | uint64_t{slot[j + 2]} << 16 |
                            uint64_t{slot[j + 3]} << 24;
    uint32_t q = static_cast<uint32_t>(std::countr_zero(window)) + 1;  // marker lies in byte j

    uint32_t size = 0;
    while ((window >> q) & 1u) {  // stops at bit 32 at the latest
        ++size;
        ++q;
    }
    ++q;  // separator

    uint32_t magnitude = 0;
    for (uint32_t i = 0; i < size; ++i) magnitude = (magnitude << 1) | static_cast<uint32_t>((window >> (q + i)) & 1u);
    if (size == 0) return 128;
    const bool positive = ((window >> q) & 1u) != 0;
    const uint32_t value = positive ? magnitude : magnitude - ((uint32_t{1} << size) - 1u);  // size <= 31
    return static_cast<uint8_t>(value + 128u);
}

uint8_t DcPreviewValueFast(const uint8_t* slot) { return FastDcPreviewValue(slot); }

void DecodeDcRegion(uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                    const uint8_t* frame) {
    for (uint32_t j = 0; j < height; ++j) {
        const uint8_t* slot = frame + SlotOffset(y + j, x);
        uint8_t* out = output + std::size_t{j} * width;
        for (uint32_t i = 0; i < width; ++i) out[i] = FastDcPreviewValue(slot + kSlotBytes * i);
    }
}

}  // namespace framedec
