#include "guard_page_rectangles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>
#include <string>

#include "framedec.h"
#include "guarded_memory.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

struct Span {
    uint32_t start, length;
};

struct Rectangle {
    uint32_t x, y, width, height;
};

constexpr uint64_t kLargePitchExtra = 4093;
constexpr uint8_t kSalt = 0x3C;
constexpr int kMaxReportedFailures = 10;

bool EndWithin(uint64_t start, uint64_t length, uint32_t minEnd, uint32_t maxEnd) {
    return start + length >= minEnd && start + length <= maxEnd;
}

// Edges at the start, one block in, the middle and the last two block columns (or rows), each with
// every length up to two blocks and the lengths that reach the bound or stop one short of it.
uint32_t LastBlockStart(uint32_t maxEnd) { return (maxEnd - 1) / kBlockSize * kBlockSize; }

std::vector<Span> EdgeSpans(uint32_t middle, uint32_t minEnd, uint32_t maxEnd) {
    const uint32_t lastBlock = LastBlockStart(maxEnd);
    std::vector<Span> spans;
    for (uint32_t start : {0u, kBlockSize, middle, lastBlock - kBlockSize, lastBlock}) {
        std::vector<uint32_t> lengths;
        for (uint32_t length = 0; length <= 2 * kBlockSize; ++length) lengths.push_back(length);
        lengths.push_back(maxEnd - start);
        lengths.push_back(maxEnd - start - 1);
        std::sort(lengths.begin(), lengths.end());
        lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
        for (uint32_t length : lengths) {
            if (EndWithin(start, length, minEnd, maxEnd)) spans.push_back({start, length});
        }
    }
    return spans;
}

std::vector<Rectangle> MatrixRectangles(const RectangleDecoderUnderTest& d) {
    // The first line (or column) alone, a span over the last two blocks cut short, the last block.
    auto crossing = [](uint32_t minEnd, uint32_t maxEnd) {
        const uint32_t last = LastBlockStart(maxEnd);
        return std::vector<Span>{{0, minEnd}, {last - kBlockSize, 11}, {last, maxEnd - last}};
    };
    const std::vector<Span> rowSpans = crossing(d.minBottom, d.maxBottom);
    const std::vector<Span> columnSpans = crossing(d.minRight, d.maxRight);
    std::vector<Rectangle> rectangles;
    for (const Span& columns : EdgeSpans(616, d.minRight, d.maxRight)) {
        for (const Span& rows : rowSpans) rectangles.push_back({columns.start, rows.start, columns.length, rows.length});
    }
    for (const Span& rows : EdgeSpans(504, d.minBottom, d.maxBottom)) {
        for (const Span& columns : columnSpans) {
            rectangles.push_back({columns.start, rows.start, columns.length, rows.length});
        }
    }
    rectangles.push_back({0, 0, d.maxRight, d.maxBottom});
    return rectangles;
}

class GuardedDecodes {
public:
    explicit GuardedDecodes(const RectangleDecoderUnderTest& decoder)
        : decoder_(decoder),
          source_(RandomFrame(kMaxImageHeight, 41)),
          table_(tools::DefaultTable()),
          reference_(decoder.reference(source_, table_.data())),
          frames_(source_.size()),
          outputs_((kMaxImageHeight - 1) * (kPaddedImageWidth * decoder.elementBytes + kLargePitchExtra) +
                   kPaddedImageWidth * decoder.elementBytes) {}

    // Decodes r with the frame and the output guarded on side; returns what went wrong, or "".
    std::string Accepted(const Rectangle& r, uint64_t pitch, GuardSide side) {
        const uint32_t blockRows = (r.height + kBlockSize - 1) / kBlockSize;
        const uint32_t blockColumns = (r.width + kBlockSize - 1) / kBlockSize;
        std::size_t first = 0;
        std::size_t end = 0;
        if (blockRows > 0 && blockColumns > 0) {
            first = SlotOffset(r.y / kBlockSize, r.x / kBlockSize);
            end = SlotOffset(r.y / kBlockSize + blockRows - 1, r.x / kBlockSize + blockColumns - 1) + kSlotBytes;
        }
        uint8_t* frame = frames_.Place(first, end, side);
        std::memcpy(frame + first, source_.data() + first, end - first);

        const std::size_t rowBytes = std::size_t{r.width} * decoder_.elementBytes;
        const std::size_t outputBytes = r.width == 0 || r.height == 0 ? 0 : (r.height - 1) * pitch + rowBytes;
        uint8_t* output = outputs_.Place(0, outputBytes, side);
        for (std::size_t i = 0; i < outputBytes; ++i) output[i] = CanaryBuffer::Canary(i, kSalt);

        const int32_t result = decoder_.decode(output, r.x, r.y, r.width, r.height, static_cast<uint32_t>(pitch),
                                               frame, table_.data());
        if (result != FRAMEDEC_OK) return "returned " + std::to_string(result);
        for (std::size_t i = 0; i < outputBytes; ++i) {
            const std::size_t line = i / pitch;
            const std::size_t column = i % pitch;
            const uint8_t expected =
                column < rowBytes
                    ? reference_[((r.y + line) * kPaddedImageWidth + r.x) * decoder_.elementBytes + column]
                    : CanaryBuffer::Canary(i, kSalt);
            if (output[i] != expected) return "output byte " + std::to_string(i) + " differs";
        }
        return "";
    }

    // A refused call gets an output and a frame of which no byte is accessible.
    std::string Refused(const Rectangle& r) {
        uint8_t* output = outputs_.Place(0, 0, GuardSide::After);
        const uint8_t* frame = frames_.Place(0, 0, GuardSide::After);
        const int32_t result = decoder_.decode(output, r.x, r.y, r.width, r.height, 1, frame, table_.data());
        return result == FRAMEDEC_INVALID_ARGUMENT ? "" : "returned " + std::to_string(result);
    }

private:
    const RectangleDecoderUnderTest& decoder_;
    std::vector<uint8_t> source_;
    std::array<uint16_t, 64> table_;
    std::vector<uint8_t> reference_;
    GuardedRegion frames_;
    GuardedRegion outputs_;
};

std::string Describe(const Rectangle& r) {
    std::ostringstream s;
    s << "x " << r.x << " y " << r.y << " width " << r.width << " height " << r.height;
    return s.str();
}

}  // namespace

RectangleDecoderUnderTest PixelDecoderUnderTest(RectangleDecode decode) {
    return {1, 1, kMaxImageWidth, 1, kMaxImageHeight, std::move(decode),
            [](const std::vector<uint8_t>& frame, const uint16_t* table) {
                return ReferencePixels(frame, kMaxImageHeight, table);
            }};
}

void ExpectRectangleDecodesStayInside(const RectangleDecoderUnderTest& decoder) {
    GuardedDecodes decodes(decoder);
    int failures = 0;
    auto report = [&](const std::string& what, const std::string& problem) {
        if (problem.empty()) return true;
        ADD_FAILURE() << what << ": " << problem;
        return ++failures < kMaxReportedFailures;
    };

    for (const Rectangle& r : MatrixRectangles(decoder)) {
        const uint64_t rowBytes = uint64_t{r.width} * decoder.elementBytes;
        for (uint64_t pitch : {rowBytes, rowBytes + 1, rowBytes + kLargePitchExtra}) {
            for (GuardSide side : {GuardSide::After, GuardSide::Before}) {
                const std::string what = Describe(r) + " pitch " + std::to_string(pitch) +
                                         (side == GuardSide::After ? ", guards after" : ", guards before");
                if (!report(what, decodes.Accepted(r, pitch, side))) return;
            }
        }
    }

    const Rectangle refused[] = {
        {4, 0, 8, 8},
        {0, 4, 8, 8},
        {0, 0, decoder.minRight - 1, 8},
        {0, 0, 8, decoder.minBottom - 1},
        {kBlockSize, 0, decoder.maxRight - kBlockSize + 1, 8},
        {0, kBlockSize, 8, decoder.maxBottom - kBlockSize + 1},
        {0xFFFFFFF8u, 0, 16, 8},
        {0, 0xFFFFFFF8u, 8, 16},
        {kBlockSize, 0, 0xFFFFFFFFu, 8},
    };
    for (const Rectangle& r : refused) {
        if (!report(Describe(r) + " (refused)", decodes.Refused(r))) return;
    }
}

}  // namespace framedec::testing
