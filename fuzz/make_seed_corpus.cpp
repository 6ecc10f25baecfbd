// Writes the committed seed corpus: small inputs for each fuzz target, cut from a synthesised
// frame, that reach the edges of every export's checks. Usage: make_seed_corpus <corpus directory>
// (one subdirectory per target is written). Rerun it only when the input format changes.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "codec/frame_geometry.h"
#include "fuzz_input.h"
#include "rectangle_decoder_property.h"
#include "synth/frame_synth.h"

using namespace framedec;
using namespace framedec::fuzz;

namespace {

std::filesystem::path g_corpus;

// A frame of the largest size from a smooth test pattern with some texture, every marker placed at
// random, so the seeds hold realistic slots in every placement.
const std::vector<uint8_t>& Frame() {
    static const std::vector<uint8_t> frame = [] {
        tools::GreyImage image{kMaxImageWidth, kMaxImageHeight, {}};
        image.pixels.resize(std::size_t{image.width} * image.height);
        for (uint32_t y = 0; y < image.height; ++y) {
            for (uint32_t x = 0; x < image.width; ++x) {
                const double v = 128 + 90 * std::sin(x * 0.013) * std::cos(y * 0.021) + ((x * 7 + y * 13) % 23) - 11;
                image.pixels[std::size_t{y} * image.width + x] = static_cast<uint8_t>(std::lround(v));
            }
        }
        tools::SynthOptions options;
        options.sequenceNo = 0x1234;
        options.seed = 11;
        return tools::SynthesizeFrame(image, options);
    }();
    return frame;
}

// The frame's bytes over one block row's grid positions [firstColumn, endColumn), plus extra bytes.
std::vector<uint8_t> GridBytes(uint32_t row, uint32_t firstColumn, uint32_t endColumn, std::size_t extra = 0) {
    const std::vector<uint8_t>& frame = Frame();
    const std::size_t begin = SlotOffset(row, firstColumn);
    const std::size_t end = std::min(frame.size(), SlotOffset(row, endColumn) + extra);
    return {frame.begin() + static_cast<std::ptrdiff_t>(begin), frame.begin() + static_cast<std::ptrdiff_t>(end)};
}

void Write(const std::string& target, const std::string& name, const FuzzInputWriter& input) {
    const std::filesystem::path directory = g_corpus / target;
    std::filesystem::create_directories(directory);
    std::ofstream(directory / ("seed-" + name), std::ios::binary)
        .write(reinterpret_cast<const char*>(input.bytes.data()), static_cast<std::streamsize>(input.bytes.size()));
}

// Slots that no encoder writes, one after the other: every code oversized; only bit 127 set; the
// widest DC window (15 zero bytes, then 0B); a marker at bit 0 followed by nothing but one bits;
// the worked example (DC 5, then -3); empty.
std::vector<uint8_t> HostileSlots() {
    std::vector<uint8_t> bytes(6 * kSlotBytes, 0);
    std::fill_n(bytes.begin(), kSlotBytes, uint8_t{0xFF});
    bytes[2 * kSlotBytes - 1] = 0x80;
    bytes[3 * kSlotBytes - 1] = 0x0B;
    bytes[3 * kSlotBytes] = 0x01;
    std::fill_n(bytes.begin() + 3 * kSlotBytes + 1, kSlotBytes - 1, uint8_t{0xFF});
    bytes[4 * kSlotBytes] = 0xAF;
    bytes[4 * kSlotBytes + 1] = 0x03;
    return bytes;
}

struct Rectangle {
    const char* name;
    uint32_t x, y, width, height;
    int64_t pitchExtra = 0;  // bytes added to a line (negative: overlapping lines)
    uint8_t table = kTableQSelector;
    uint32_t nulls = 0;
    bool hostileSlots = false;  // the covered slots cycle through HostileSlots instead of the frame's
};

// A seed for a rectangle decoder: its arguments (ownArguments: the bytes of the decoder's own),
// then the content of the slots it covers.
template <typename Element>
void WriteRectangleSeed(const std::string& target, const RectangleRules<Element>& rules, const Rectangle& r,
                        const std::vector<uint8_t>& ownArguments = {}) {
    FuzzInputWriter input;
    input.Coordinate(r.x, rules.maxRight + kBlockSize, kBlockSize);
    input.Coordinate(r.y, rules.maxBottom + kBlockSize, kBlockSize);
    input.Extent(r.width, rules.maxRight + kBlockSize);
    input.Extent(r.height, rules.maxBottom + kBlockSize);
    const uint64_t rowBytes = uint64_t{r.width} * sizeof(Element);
    input.Pitch(static_cast<uint64_t>(static_cast<int64_t>(rowBytes) + r.pitchExtra), rowBytes);
    input.NullPointers(r.nulls);
    input.Byte(r.table);
    if (r.table == kInputTableSelector) {
        for (uint32_t n = 0; n < kBlockPixels; ++n) {  // some entries large enough to wrap products
            const uint32_t entry = n % 9 == 0 ? 0xFFFFu - n : n * 37 + 1;
            input.Byte(static_cast<uint8_t>(entry));
            input.Byte(static_cast<uint8_t>(entry >> 8));
        }
    }
    input.Bytes(ownArguments);
    const bool inside = r.x < kPaddedImageWidth && r.y < kMaxImageHeight;
    const uint32_t rows = inside ? std::min((r.height + 7) / 8, (kMaxImageHeight - r.y) / 8) : 0;
    const uint32_t columnEnd = inside ? std::min(kSlotsPerRow, (r.x + r.width + 7) / 8) : 0;
    if (r.hostileSlots) {
        input.Bytes(HostileSlots());
    } else {
        for (uint32_t j = 0; j < rows; ++j) input.Bytes(GridBytes(r.y / 8 + j, r.x / 8, columnEnd));
    }
    Write(target, r.name, input);
}

const Rectangle kPixelRectangles[] = {
    {"four-blocks", 0, 0, 16, 16},
    {"bottom-right-corner", 1240, 1016, 6, 8},
    {"right-edge-odd-pitch", 1232, 0, 14, 13, 5},
    {"width-0-accepted", 8, 8, 0, 5},
    {"three-columns-unit-table", 0, 0, 3, 1, 0, kUnitTableSelector},
    {"input-table-large-pitch", 16, 24, 20, 11, 100, kInputTableSelector},
    {"overlapping-lines", 0, 0, 24, 9, -14},
    {"whole-width", 0, 504, 1246, 16},
    {"hostile-slots", 0, 0, 48, 16, 0, kTableQSelector, 0, true},
    {"refused-x-4", 4, 0, 8, 8},
    {"refused-width-0-at-x-0", 0, 0, 0, 8},
    {"refused-past-right-edge", 1240, 0, 7, 8},
    {"refused-past-bottom", 0, 1016, 8, 9},
    {"refused-wrap-around", 0xFFFFFFF8u, 0, 16, 8},
    {"refused-null-frame", 0, 0, 8, 8, 0, kTableQSelector, 2},
};

void WritePixelSeeds() {
    for (const Rectangle& r : kPixelRectangles) WriteRectangleSeed("decode_data", kPixelRules, r);
}

// The pixel seeds at 3 threads, and the edges of the thread count (the byte's encoding is in
// decode_data_multithread_fuzzer.cpp: 0xF0 + n gives 30 + n).
void WriteMultithreadSeeds() {
    const std::string target = "decode_data_multithread";
    for (const Rectangle& r : kPixelRectangles) WriteRectangleSeed(target, kStripPixelRules, r, {3});
    const Rectangle wide{"", 0, 0, 1246, 16};
    const std::pair<const char*, uint8_t> threadCounts[] = {
        {"one-thread", 1}, {"32-threads", 0xF2}, {"refused-0-threads", 0}, {"refused-33-threads", 0xF3}};
    for (auto [name, field] : threadCounts) {
        Rectangle r = wide;
        r.name = name;
        WriteRectangleSeed(target, kStripPixelRules, r, {field});
    }
}

void WriteCoefficientSeeds() {
    const Rectangle rectangles[] = {
        {"four-blocks", 0, 0, 16, 16},
        {"padded-right-edge", 1240, 1016, 8, 8},
        {"eleven-columns-odd-pitch", 0, 8, 11, 8, 3},
        {"width-0-accepted", 8, 8, 0, 8},
        {"input-table-wraps", 32, 32, 17, 9, 0, kInputTableSelector},
        {"overlapping-lines", 0, 0, 16, 16, -7},
        {"whole-padded-width", 0, 0, 1248, 8},
        {"hostile-slots-input-table", 0, 0, 48, 16, 1, kInputTableSelector, 0, true},
        {"refused-width-7-at-x-0", 0, 0, 7, 8},
        {"refused-past-padded-edge", 0, 0, 1249, 8},
        {"refused-height-3-at-y-0", 0, 0, 8, 3},
        {"refused-null-table", 0, 0, 8, 8, 0, kTableQSelector, 4},
    };
    for (const Rectangle& r : rectangles) WriteRectangleSeed("decode_dct_data", kCoefficientRules, r);
}

void WriteDcSeed(const char* name, uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint32_t nulls = 0,
                 const std::vector<uint8_t>& content = {}) {
    FuzzInputWriter input;
    input.Coordinate(x, kGridPositionsPerRow + kBlockSize, 1);
    input.Coordinate(y, kMaxBlockRows + kBlockSize, 1);
    input.Extent(width, kGridPositionsPerRow + kBlockSize);
    input.Extent(height, kMaxBlockRows + kBlockSize);
    input.NullPointers(nulls);
    const bool inside = x < kGridPositionsPerRow && y < kMaxBlockRows;
    const uint32_t rowEnd = inside ? std::min(kMaxBlockRows, y + height) : 0;
    const uint32_t columnEnd = inside ? std::min(kGridPositionsPerRow, x + width) : 0;
    if (!content.empty()) {
        input.Bytes(content);
    } else {
        for (uint32_t r = y; r < rowEnd; ++r) input.Bytes(GridBytes(r, x, columnEnd, 3));
    }
    Write("decode_dc_data", name, input);
}

void WriteDcSeeds() {
    WriteDcSeed("four-by-two", 0, 0, 4, 2);
    WriteDcSeed("tail-positions-last-row", 156, 127, 4, 1);
    WriteDcSeed("right-edge", 150, 120, 10, 8);
    WriteDcSeed("whole-rows", 0, 60, 160, 2);
    WriteDcSeed("width-0-accepted", 1, 0, 0, 3);
    WriteDcSeed("refused-past-right-edge", 151, 0, 10, 1);
    WriteDcSeed("refused-width-0-at-x-0", 0, 0, 0, 1);
    WriteDcSeed("refused-past-bottom", 0, 121, 1, 8);
    WriteDcSeed("refused-null-output", 0, 0, 1, 1, 1);
    // Grid positions 157 to 159 of the last row, past the frame's end: an empty slot, a marker
    // followed by one bits, the widest window; then the 3 bytes that window takes.
    std::vector<uint8_t> lastPositions(3 * kSlotBytes + 3, 0);
    lastPositions[kSlotBytes] = 0x01;
    std::fill_n(lastPositions.begin() + kSlotBytes + 1, kSlotBytes - 1, uint8_t{0xFF});
    lastPositions[3 * kSlotBytes - 1] = 0x0B;
    std::fill_n(lastPositions.end() - 3, 3, uint8_t{0xFF});
    WriteDcSeed("widest-windows-past-the-frame", 157, 127, 3, 1, 0, lastPositions);
}

void WriteSequenceSeed(const char* name, uint32_t height, uint32_t nulls = 0) {
    FuzzInputWriter input;
    input.Word(0xDEADBEEF);  // the ignored argument
    input.Extent(height, 2 * kMaxImageHeight);
    input.NullPointers(nulls);
    input.Byte(0x34);
    input.Byte(0x12);
    Write("extract_sequence_no", name, input);
}

void WriteSequenceSeeds() {
    WriteSequenceSeed("largest-frame", kMaxImageHeight);
    WriteSequenceSeed("one-block-row", 8);
    WriteSequenceSeed("height-not-a-multiple-of-8", 9);
    WriteSequenceSeed("refused-height-7", 7);
    WriteSequenceSeed("refused-height-0", 0);
    WriteSequenceSeed("refused-null-sequence-no", 8, 2);
}

void WriteGpuSeed(const char* name, uint32_t width, uint32_t height, int32_t pitchOffset, uint8_t flags) {
    FuzzInputWriter input;
    input.Extent(width, kGridWidthPixels);
    input.Extent(height, 64);
    input.Word(static_cast<uint32_t>(pitchOffset + 8));  // read back as padded width - 8 + field % 12
    input.Byte(flags);
    const std::vector<uint8_t>& frame = Frame();
    if (height > 0)
        input.Bytes(std::span<const uint8_t>(frame.data() + kRowLeadInBytes, FrameBytes(height) - kRowLeadInBytes));
    Write("decode_gpu", name, input);
}

void WriteGpuSeeds() {
    WriteGpuSeed("image-width-pitch-padded", 1246, 16, 0, 0);
    WriteGpuSeed("grid-width", 1280, 8, 0, 0);
    WriteGpuSeed("pitch-one-below-padded", 1245, 8, -1, 0);
    WriteGpuSeed("refused-pitch-past-padded", 1246, 8, 1, 0);
    WriteGpuSeed("device-address", 640, 24, 0, 1);
    WriteGpuSeed("height-not-a-multiple-of-8", 320, 13, 0, 0);
    WriteGpuSeed("refused-height-0", 320, 0, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    g_corpus = argv[1];
    WritePixelSeeds();
    WriteMultithreadSeeds();
    WriteCoefficientSeeds();
    WriteDcSeeds();
    WriteSequenceSeeds();
    WriteGpuSeeds();
    return 0;
}
