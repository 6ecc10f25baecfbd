#include "test_support.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "codec/block_decoder.h"
#include "codec/zigzag.h"

namespace framedec::testing {

Slot SlotFromBytes(std::initializer_list<uint8_t> bytes) {
    Slot s{};
    std::copy(bytes.begin(), bytes.end(), s.begin());
    return s;
}

void PutStreamBits(Slot& slot, uint32_t pos, const std::string& bits) {
    for (char c : bits) {
        if (c == ' ') continue;
        if (c == '1') slot[pos >> 3] |= static_cast<uint8_t>(1u << (pos & 7));
        ++pos;
    }
}

Slot SlotFromLevels(const Levels& levels, uint32_t markerBit) {
    Slot s{};
    tools::EncodeSlot(levels, markerBit, s.data());
    return s;
}

Levels RandomFittingLevels(std::mt19937_64& random, uint32_t maxSize) {
    Levels levels{};
    // Mostly small levels concentrated at low frequencies, like real blocks, with a random tail.
    const uint32_t count = static_cast<uint32_t>(random() % 65);
    for (uint32_t k = 0; k < count; ++k) {
        if (random() % 3 == 0) continue;
        const uint32_t size = static_cast<uint32_t>(random() % (maxSize + 1));
        if (size == 0) continue;
        int32_t magnitude = static_cast<int32_t>((1u << (size - 1)) + random() % (1u << (size - 1)));
        levels[kZigzag[k]] = static_cast<int16_t>(random() % 2 ? magnitude : -magnitude);
    }
    tools::FitToSlot(levels);
    return levels;
}

Slot RandomValidSlot(std::mt19937_64& random, uint32_t maxSize) {
    const Levels levels = RandomFittingLevels(random, maxSize);
    const uint32_t bits = tools::StreamBits(levels);
    return SlotFromLevels(levels, static_cast<uint32_t>(random() % (kSlotBits - bits)));
}

Slot RandomHostileSlot(std::mt19937_64& random) {
    Slot s{};
    for (auto& b : s) b = static_cast<uint8_t>(random());
    switch (random() % 6) {
        case 0: {  // leading zero bytes, so the marker sits high
            const auto zeros = random() % 17;
            for (uint64_t i = 0; i < zeros; ++i) s[i] = 0;
            break;
        }
        case 1: {  // runs of ones: oversized codes
            const auto start = random() % 16;
            for (auto i = start; i < 16 && i < start + 1 + random() % 8; ++i) s[i] = 0xFF;
            break;
        }
        case 2: {  // sparse bits
            for (auto& b : s) b = static_cast<uint8_t>(random() % 4 == 0 ? 1u << (random() % 8) : 0);
            break;
        }
        default: break;
    }
    return s;
}

std::array<uint16_t, 64> UnitTable() {
    std::array<uint16_t, 64> t;
    t.fill(1);
    return t;
}

std::vector<uint8_t> RandomFrame(uint32_t heightLines, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<uint8_t> frame(FrameBytes(heightLines));
    for (auto& b : frame) b = static_cast<uint8_t>(random());
    for (uint32_t r = 0; r < heightLines / kBlockSize; ++r) {
        for (uint32_t c = 0; c < kGridPositionsPerRow; ++c) {
            if (SlotOffset(r, c) + kSlotBytes > frame.size()) break;
            const Slot s = random() % 3 == 0 ? RandomHostileSlot(random) : RandomValidSlot(random);
            std::copy(s.begin(), s.end(), frame.begin() + static_cast<std::ptrdiff_t>(SlotOffset(r, c)));
        }
    }
    return frame;
}

const tools::GreyImage& AstronautImage() {
    static const tools::GreyImage image = [] {
        tools::GreyImage im;
        std::string error;
        if (!tools::ReadPgm(DataPath("astronaut.pgm"), im, error)) throw std::runtime_error(error);
        return im;
    }();
    return image;
}

const std::vector<uint8_t>& AstronautFrame() {
    static const std::vector<uint8_t> frame = [] {
        tools::SynthOptions options;
        options.sequenceNo = 0x1234;
        options.seed = 7;
        return tools::SynthesizeFrame(AstronautImage(), options);
    }();
    return frame;
}

CanaryBuffer::CanaryBuffer(std::size_t size, uint8_t s) : bytes(size), salt(s) {
    for (std::size_t i = 0; i < size; ++i) bytes[i] = Canary(i, salt);
}

bool CanaryBuffer::OnlyRectangleChanged(uint32_t rowBytes, uint32_t lines, uint32_t pitch) const {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool inside = i / pitch < lines && i % pitch < rowBytes;
        if (!inside && bytes[i] != Canary(i, salt)) return false;
    }
    return true;
}

bool CanaryBuffer::Untouched() const { return OnlyRectangleChanged(0, 0, 1); }

std::vector<uint8_t> ReferencePixels(const std::vector<uint8_t>& frame, uint32_t heightLines, const uint16_t* table) {
    std::vector<uint8_t> image(std::size_t{kPaddedImageWidth} * heightLines);
    for (uint32_t r = 0; r < heightLines / kBlockSize; ++r) {
        for (uint32_t c = 0; c < kSlotsPerRow; ++c) {
            uint8_t block[64];
            DecodeBlockScalar(frame.data() + SlotOffset(r, c), table, block);
            for (uint32_t y = 0; y < 8; ++y)
                std::copy_n(block + 8 * y, 8, image.begin() + (8 * r + y) * std::size_t{kPaddedImageWidth} + 8 * c);
        }
    }
    return image;
}

std::vector<int16_t> ReferenceCoefficients(const std::vector<uint8_t>& frame, uint32_t heightLines,
                                           const uint16_t* table) {
    std::vector<int16_t> image(std::size_t{kPaddedImageWidth} * heightLines);
    for (uint32_t r = 0; r < heightLines / kBlockSize; ++r) {
        for (uint32_t c = 0; c < kSlotsPerRow; ++c) {
            int16_t block[64];
            DecodeBlockCoefficientsScalar(frame.data() + SlotOffset(r, c), table, block);
            for (uint32_t v = 0; v < 8; ++v)
                std::copy_n(block + 8 * v, 8, image.begin() + (8 * r + v) * std::size_t{kPaddedImageWidth} + 8 * c);
        }
    }
    return image;
}

std::string DataPath(const std::string& name) { return std::string(FRAMEDEC_TEST_DATA_DIR) + "/" + name; }

std::vector<std::string> TargetProgramCommand(const std::string& program) {
    std::vector<std::string> command;
#ifdef FRAMEDEC_TEST_EMULATOR
    std::istringstream words(FRAMEDEC_TEST_EMULATOR);  // the emulator and its options, space-separated
    for (std::string word; words >> word;) command.push_back(word);
#endif
    command.push_back(program);
    return command;
}

}  // namespace framedec::testing
