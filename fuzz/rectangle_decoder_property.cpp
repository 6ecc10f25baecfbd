#include "rectangle_decoder_property.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "canary_output.h"
#include "codec/quant_table_q.h"
#include "exact_frame.h"
#include "framedec.h"
#include "fuzz_check.h"

namespace framedec::fuzz {
namespace {

using Table = std::array<uint16_t, kBlockPixels>;

Table ReadTable(FuzzInput& input) {
    Table table;
    switch (input.Byte() % 3) {
        case kTableQSelector: std::copy(std::begin(kTableQ), std::end(kTableQ), table.begin()); break;
        case kUnitTableSelector: table.fill(1); break;
        default:
            for (uint16_t& entry : table) {
                const uint8_t low = input.Byte();
                entry = static_cast<uint16_t>(low | input.Byte() << 8);
            }
            break;
    }
    return table;
}

// The oracle for the checks, written from the documented bounds: start + length within
// minEnd..maxEnd, counted without wrap-around.
bool EndWithin(uint32_t start, uint32_t length, uint32_t minEnd, uint32_t maxEnd) {
    const uint64_t end = uint64_t{start} + length;
    return end >= minEnd && end <= maxEnd;
}

uint32_t BlocksCovering(uint32_t extent) { return (extent + kBlockSize - 1) / kBlockSize; }

// The output the documented walk writes into canary bytes: each covered block decoded by the
// portable decoder, its visible part copied to its place, block rows top to bottom.
template <typename Element>
void WriteReference(const RectangleRules<Element>& rules, const RectangleCall<Element>& call, uint8_t* output) {
    for (uint32_t j = 0; j < BlocksCovering(call.height); ++j) {
        const uint32_t visibleLines = std::min(kBlockSize, call.height - kBlockSize * j);
        for (uint32_t i = 0; i < BlocksCovering(call.width); ++i) {
            const uint32_t visibleColumns = std::min(kBlockSize, call.width - kBlockSize * i);
            Element block[kBlockPixels];
            rules.referenceBlock(call.frame + SlotOffset(call.y / kBlockSize + j, call.x / kBlockSize + i),
                                 call.table, block);
            for (uint32_t k = 0; k < visibleLines; ++k) {
                std::memcpy(output + (std::size_t{kBlockSize} * j + k) * call.pitch +
                                std::size_t{kBlockSize} * i * sizeof(Element),
                            block + kBlockSize * k, visibleColumns * sizeof(Element));
            }
        }
    }
}

template <typename Element>
void CheckRefused(RectangleCall<Element> call, uint32_t nulls, const RectangleDecode<Element>& decode) {
    CanaryOutput output(64);
    const ExactFrame frame({}, {});  // nothing of it may be read
    if (!(nulls & 1u)) call.output = reinterpret_cast<Element*>(output.data());
    if (!(nulls & 2u)) call.frame = frame.frame();
    Require(decode(call) == FRAMEDEC_INVALID_ARGUMENT, "a refused call returns 5");
    Require(output.Untouched(), "a refused call writes nothing");
}

template <typename Element>
void CheckAccepted(const RectangleRules<Element>& rules, RectangleCall<Element> call, std::span<const uint8_t> content,
                   const RectangleDecode<Element>& decode) {
    const uint64_t rowBytes = uint64_t{call.width} * sizeof(Element);
    std::vector<ByteRange> slotRows;
    if (call.width > 0) {
        for (uint32_t j = 0; j < BlocksCovering(call.height); ++j) {
            const std::size_t first = SlotOffset(call.y / kBlockSize + j, call.x / kBlockSize);
            slotRows.push_back({first, first + std::size_t{BlocksCovering(call.width)} * kSlotBytes});
        }
    }
    const ExactFrame frame(std::move(slotRows), content);
    call.frame = frame.frame();

    const std::size_t outputBytes =
        call.width == 0 || call.height == 0 ? 0 : (call.height - 1) * std::size_t{call.pitch} + rowBytes;
    const bool linesOverlap = call.pitch < rowBytes;
    CanaryOutput expected(outputBytes);
    if (!linesOverlap) WriteReference(rules, call, expected.data());

    for (const BlockDecoder& variant : BlockDecoders()) {
        if (!SelectBlockDecoder(variant.name)) continue;
        CanaryOutput output(outputBytes);
        call.output = reinterpret_cast<Element*>(output.data());
        Require(decode(call) == FRAMEDEC_OK, "an accepted call returns 0");
        // Overlapping lines get whatever the last write left; only their bounds are checked.
        if (!linesOverlap) {
            Require(output.Equals(expected), "the rectangle equals the portable decoder's and nothing else is written");
        }
    }
}

}  // namespace

template <typename Element>
void CheckRectangleDecoder(const uint8_t* data, std::size_t size, const RectangleRules<Element>& rules,
                           const std::function<bool(FuzzInput&)>& readOwnArguments,
                           const RectangleDecode<Element>& decode) {
    FuzzInput input(data, size);
    RectangleCall<Element> call{};
    call.x = Coordinate(input, rules.maxRight + kBlockSize, kBlockSize);
    call.y = Coordinate(input, rules.maxBottom + kBlockSize, kBlockSize);
    call.width = Extent(input, rules.maxRight + kBlockSize);
    call.height = Extent(input, rules.maxBottom + kBlockSize);
    const uint64_t rowBytes = uint64_t{call.width} * sizeof(Element);
    const uint64_t pitch = Pitch(input, rowBytes);
    call.pitch = static_cast<uint32_t>(rules.linesMayOverlap ? pitch : std::max(pitch, rowBytes));
    const uint32_t nulls = NullPointers(input, 3);
    const Table table = ReadTable(input);
    const bool ownArgumentsAccepted = readOwnArguments(input);
    if (!(nulls & 4u)) call.table = table.data();

    const bool accepted = nulls == 0 && ownArgumentsAccepted && call.x % kBlockSize == 0 &&
                          call.y % kBlockSize == 0 && EndWithin(call.x, call.width, rules.minRight, rules.maxRight) &&
                          EndWithin(call.y, call.height, rules.minBottom, rules.maxBottom);
    if (accepted) {
        CheckAccepted(rules, call, input.Rest(), decode);
    } else {
        CheckRefused(call, nulls, decode);
    }
}

template void CheckRectangleDecoder<uint8_t>(const uint8_t*, std::size_t, const RectangleRules<uint8_t>&,
                                             const std::function<bool(FuzzInput&)>&, const RectangleDecode<uint8_t>&);
template void CheckRectangleDecoder<int16_t>(const uint8_t*, std::size_t, const RectangleRules<int16_t>&,
                                             const std::function<bool(FuzzInput&)>&, const RectangleDecode<int16_t>&);

}  // namespace framedec::fuzz
