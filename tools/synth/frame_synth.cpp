#include "synth/frame_synth.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "codec/frame_geometry.h"
#include "codec/quant_table_q.h"
#include "codec/zigzag.h"

namespace framedec::tools {
namespace {

uint32_t SizeOf(int32_t level) {
    uint32_t magnitude = static_cast<uint32_t>(level < 0 ? -level : level);
    uint32_t size = 0;
    while (magnitude != 0) {
        ++size;
        magnitude >>= 1;
    }
    return size;
}

// Appends bits (value's low count bits, most significant first) to the slot at position pos.
void PutBits(uint8_t* slot, uint32_t& pos, uint32_t value, uint32_t count) {
    for (uint32_t i = count; i-- > 0;) {
        if ((value >> i) & 1u) slot[pos >> 3] |= static_cast<uint8_t>(1u << (pos & 7));
        ++pos;
    }
}

const double kPi = 3.14159265358979323846;

}  // namespace

QuantTable DefaultTable() {
    QuantTable t;
    std::copy(std::begin(kTableQ), std::end(kTableQ), t.begin());
    return t;
}

QuantTable TableForQuality(int quality) {
    static constexpr uint16_t kLuminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                                14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                                18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                                49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    quality = std::clamp(quality, 1, 100);
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    QuantTable t;
    for (int i = 0; i < 64; ++i) t[i] = static_cast<uint16_t>(std::clamp((kLuminance[i] * scale + 50) / 100, 1, 255));
    return t;
}

const DctBasisTable& DctBasis() {
    static const DctBasisTable basis = [] {
        DctBasisTable c{};
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                c[u][x] = (u == 0 ? 1 / std::sqrt(2.0) : 1.0) * std::cos((2 * x + 1) * u * kPi / 16) / 2;
        return c;
    }();
    return basis;
}

std::array<int16_t, 64> QuantiseBlock(const uint8_t* pixels, std::size_t lineStride, const QuantTable& table) {
    // The transform of the level-shifted block's rows, then of its columns.
    const DctBasisTable& cosines = DctBasis();
    double rows[8][8];  // rows[y][u]
    for (int y = 0; y < 8; ++y) {
        for (int u = 0; u < 8; ++u) {
            double sum = 0;
            for (int x = 0; x < 8; ++x) sum += (pixels[y * lineStride + x] - 128.0) * cosines[u][x];
            rows[y][u] = sum;
        }
    }
    std::array<int16_t, 64> levels{};
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            double coefficient = 0;
            for (int y = 0; y < 8; ++y) coefficient += rows[y][u] * cosines[v][y];
            const uint16_t q = table[8 * v + u];
            const double level = q == 0 ? 0.0 : std::round(coefficient / q);
            levels[8 * v + u] = static_cast<int16_t>(std::clamp(level, -32767.0, 32767.0));
        }
    }
    return levels;
}

uint32_t StreamBits(const std::array<int16_t, 64>& levels) {
    uint32_t bits = 0, bitsToLastNonZero = 0;
    for (uint32_t k = 0; k < 64; ++k) {
        bits += 2 * SizeOf(levels[kZigzag[k]]) + 1;
        if (levels[kZigzag[k]] != 0) bitsToLastNonZero = bits;
    }
    return bitsToLastNonZero;
}

bool FitToSlot(std::array<int16_t, 64>& levels) {
    for (int16_t& l : levels) l = std::clamp<int16_t>(l, -32767, 32767);
    // Keep the longest zigzag prefix whose codes, up to its last non-zero level, fit in 127 bits.
    uint32_t bits = 0;
    int keepThrough = -1;  // zigzag position of the last level kept
    for (int k = 0; k < 64; ++k) {
        bits += 2 * SizeOf(levels[kZigzag[k]]) + 1;
        if (bits > kSlotBits - 1) break;
        keepThrough = k;
    }
    bool dropped = false;
    for (int k = keepThrough + 1; k < 64; ++k) {
        dropped |= levels[kZigzag[k]] != 0;
        levels[kZigzag[k]] = 0;
    }
    return dropped;
}

void EncodeSlot(const std::array<int16_t, 64>& levels, std::optional<uint32_t> markerBit, uint8_t* slot) {
    std::fill(slot, slot + kSlotBytes, uint8_t{0});
    if (!markerBit) return;
    uint32_t pos = *markerBit;
    PutBits(slot, pos, 1, 1);
    const uint32_t end = StreamBits(levels);
    uint32_t written = 0;
    for (uint32_t k = 0; k < 64 && written < end; ++k) {
        const int32_t level = levels[kZigzag[k]];
        const uint32_t size = SizeOf(level);
        PutBits(slot, pos, (1u << size) - 1u, size);  // size in unary
        PutBits(slot, pos, 0, 1);                      // separator
        const uint32_t magnitude = level >= 0 ? static_cast<uint32_t>(level)
                                              : static_cast<uint32_t>(level + static_cast<int32_t>((1u << size) - 1u));
        PutBits(slot, pos, magnitude, size);
        written += 2 * size + 1;
    }
}

void SetSequenceNumber(std::span<uint8_t> frame, uint16_t sequenceNo) {
    const std::size_t low = frame.size() - kSequenceNoFromEnd;
    frame[low] = static_cast<uint8_t>(sequenceNo & 0xFF);
    frame[low + 1] = static_cast<uint8_t>(sequenceNo >> 8);
}

std::vector<uint8_t> SynthesizeFrame(const GreyImage& image, const SynthOptions& options, SynthStats* stats) {
    const uint32_t width = std::min(image.width, kMaxImageWidth);
    const uint32_t height = std::min(image.height, kMaxImageHeight);
    const uint32_t frameHeight =
        options.frameHeight != 0 ? options.frameHeight : (height + kBlockSize - 1) / kBlockSize * kBlockSize;
    std::vector<uint8_t> frame(FrameBytes(frameHeight), 0);
    std::mt19937_64 random(options.seed);
    SynthStats local;

    if (options.randomFill) {
        for (uint32_t r = 0; r < frameHeight / kBlockSize; ++r) {
            uint8_t* row = frame.data() + std::size_t{r} * kBlockRowBytes;
            for (uint32_t i = 0; i < kRowLeadInBytes; ++i) row[i] = static_cast<uint8_t>(random());
            for (uint32_t i = kRowLeadInBytes + kSlotsPerRow * kSlotBytes; i < kBlockRowBytes; ++i)
                row[i] = static_cast<uint8_t>(random());
        }
    }

    const uint32_t blockRows = std::min(frameHeight, (height + kBlockSize - 1) / kBlockSize * kBlockSize) / kBlockSize;
    const uint32_t blockColumns = (width + kBlockSize - 1) / kBlockSize;
    for (uint32_t r = 0; r < blockRows; ++r) {
        for (uint32_t c = 0; c < blockColumns; ++c) {
            uint8_t block[64];
            for (uint32_t y = 0; y < 8; ++y) {
                for (uint32_t x = 0; x < 8; ++x) {
                    block[8 * y + x] = image.At(std::min(8 * c + x, width - 1), std::min(8 * r + y, height - 1));
                }
            }
            std::array<int16_t, 64> levels = QuantiseBlock(block, 8, options.table);
            if (FitToSlot(levels)) ++local.truncatedBlocks;
            const uint32_t bits = StreamBits(levels);
            std::optional<uint32_t> marker;
            if (bits == 0) {
                ++local.emptySlots;  // all levels zero: an all-zero slot says the same
            } else if (options.marker == MarkerPlacement::Bottom) {
                marker = 0;
            } else if (options.marker == MarkerPlacement::Top) {
                marker = kSlotBits - 1 - bits;
            } else {
                marker = static_cast<uint32_t>(random() % (kSlotBits - bits));
            }
            EncodeSlot(levels, marker, frame.data() + SlotOffset(r, c));
            ++local.blocks;
        }
    }

    SetSequenceNumber(frame, options.sequenceNo);
    if (stats) *stats = local;
    return frame;
}

}  // namespace framedec::tools
