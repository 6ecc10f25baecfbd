// The CPU decoders and the sequence number: DecodeData, DecodeDataMultiThread, DecodeDCTData,
// DecodeDCData, ExtractSequenceNo. Each takes a batch of frames (one frame is a batch of one) and
// writes one image per frame.
#include <array>
#include <chrono>
#include <cstring>
#include <vector>

#include "bindings.h"
#include "frame_batch.h"
#include "released_gil.h"
#include "codec/frame_geometry.h"
#include "framedec.h"

namespace framedec::python {
namespace {

// What a call the binding cannot make safely returns: the library's own refusal code.
constexpr int32_t kRefused = FRAMEDEC_INVALID_ARGUMENT;

// Where out's images and rows lie, for images of width x height elements: false unless out has
// exactly that shape per image, adjacent elements within a row, rows at least a row apart and
// images at least an image apart (so no two frames' outputs overlap).
template <class T>
bool LayoutOf(const OutputImages<T>& out, std::size_t images, uint32_t width, uint32_t height, ImageLayout& layout) {
    if (out.shape(0) != images || out.shape(1) != height || out.shape(2) != width) return false;
    const uint64_t rowBytes = uint64_t{width} * sizeof(T);
    layout.pitch = static_cast<uint32_t>(rowBytes);
    if (images == 0 || width == 0 || height == 0) return true;  // nothing is written (numpy gives such arrays no strides)
    if (width > 1 && out.stride(2) != 1) return false;
    if (height > 1) {
        if (out.stride(1) < 0) return false;
        const uint64_t strideBytes = static_cast<uint64_t>(out.stride(1)) * sizeof(T);
        if (strideBytes < rowBytes || strideBytes > UINT32_MAX) return false;
        layout.pitch = static_cast<uint32_t>(strideBytes);
    }
    layout.imageStride = 0;
    if (images > 1 && width > 0 && height > 0) {
        if (out.stride(0) < 0) return false;
        const uint64_t span = uint64_t{height - 1} * layout.pitch + rowBytes;
        if (static_cast<uint64_t>(out.stride(0)) * sizeof(T) < span) return false;
        layout.imageStride = static_cast<std::size_t>(out.stride(0));
    }
    return true;
}

// An empty output array may have no storage; the library refuses a null pointer even where it
// would write nothing.
template <class T>
T* OutputPointer(OutputImages<T>& out, T& placeholder) {
    return out.data() != nullptr ? out.data() : &placeholder;
}

bool EndsWithin(uint32_t start, uint32_t length, uint32_t limit) { return uint64_t{start} + length <= limit; }

// One frame with threads > 1 is split into strips (DecodeDataMultiThread); a batch is decoded one
// whole frame per thread.
int32_t DecodePixels(OutputImages<uint8_t> out, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                     const Frames& frames, const TableEntries& table, uint32_t threads) {
    const uint32_t lines = FrameLines(frames);
    const std::size_t count = frames.shape(0);
    ImageLayout layout;
    if (lines == 0 || threads == 0 || !EndsWithin(y, height, lines) || !LayoutOf(out, count, width, height, layout))
        return kRefused;
    uint8_t placeholder = 0;
    uint8_t* output = OutputPointer(out, placeholder);
    ReleasedGil released;
    if (count == 1 && threads > 1)
        return DecodeDataMultiThread(output, x, y, width, height, layout.pitch, FrameAt(frames, 0), table.data(),
                                     threads);
    return ForEachFrame(count, threads, [&](std::size_t i) {
        return DecodeData(output + i * layout.imageStride, x, y, width, height, layout.pitch, FrameAt(frames, i),
                          table.data());
    });
}

int32_t DecodeCoefficients(OutputImages<int16_t> out, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                           const Frames& frames, const TableEntries& table, uint32_t threads) {
    const uint32_t lines = FrameLines(frames);
    const std::size_t count = frames.shape(0);
    ImageLayout layout;
    if (lines == 0 || threads == 0 || !EndsWithin(y, height, lines) || !LayoutOf(out, count, width, height, layout))
        return kRefused;
    int16_t placeholder = 0;
    int16_t* output = OutputPointer(out, placeholder);
    ReleasedGil released;
    return ForEachFrame(count, threads, [&](std::size_t i) {
        return DecodeDCTData(output + i * layout.imageStride, x, y, width, height, layout.pitch, FrameAt(frames, i),
                             table.data());
    });
}

// DecodeDCData writes packed rows, so rows of a strided output are decoded one at a time. Every
// block is read within the frame: the last block row, when its last grid position is wanted, is
// decoded from a copy followed by zeros. All calls share x and width, so a refusal comes from the
// first one, before anything is written.
int32_t DecodePreviewRows(uint8_t* out, uint32_t pitch, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                          const uint8_t* frame, uint32_t blockRows) {
    if (width == 0 || height == 0) return DecodeDCData(out, x, y, width, height, frame);  // reads no block
    const bool readsPastFrame = y + height == blockRows && uint64_t{x} + width >= kGridPositionsPerRow;
    const uint32_t direct = readsPastFrame ? height - 1 : height;
    if (pitch == width) {
        if (direct > 0)
            if (const int32_t result = DecodeDCData(out, x, y, width, direct, frame); result != FRAMEDEC_OK)
                return result;
    } else {
        for (uint32_t j = 0; j < direct; ++j)
            if (const int32_t result = DecodeDCData(out + std::size_t{j} * pitch, x, y + j, width, 1, frame);
                result != FRAMEDEC_OK)
                return result;
    }
    if (!readsPastFrame) return FRAMEDEC_OK;
    std::array<uint8_t, kBlockRowBytes + kDcWindowBytesPastFrame> lastRow{};
    std::memcpy(lastRow.data(), frame + std::size_t{blockRows - 1} * kBlockRowBytes, kBlockRowBytes);
    return DecodeDCData(out + std::size_t{height - 1} * pitch, x, 0, width, 1, lastRow.data());
}

int32_t DecodePreview(OutputImages<uint8_t> out, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                      const Frames& frames, uint32_t threads) {
    const uint32_t blockRows = FrameLines(frames) / kBlockSize;
    const std::size_t count = frames.shape(0);
    ImageLayout layout;
    if (blockRows == 0 || threads == 0 || !EndsWithin(y, height, blockRows) ||
        !LayoutOf(out, count, width, height, layout))
        return kRefused;
    uint8_t placeholder = 0;
    uint8_t* output = OutputPointer(out, placeholder);
    ReleasedGil released;
    return ForEachFrame(count, threads, [&](std::size_t i) {
        return DecodePreviewRows(output + i * layout.imageStride, layout.pitch, x, y, width, height,
                                 FrameAt(frames, i), blockRows);
    });
}

// (result code, the sequence number of every frame).
nb::tuple SequenceNumbers(const Frames& frames) {
    const uint32_t lines = FrameLines(frames);
    std::vector<uint16_t> numbers(frames.shape(0));
    int32_t result = lines == 0 ? kRefused : FRAMEDEC_OK;
    for (std::size_t i = 0; i < numbers.size() && result == FRAMEDEC_OK; ++i)
        result = ExtractSequenceNo(FrameAt(frames, i), 0, lines, &numbers[i]);
    return nb::make_tuple(result, ToNumpy(std::move(numbers)));
}

// Seconds that repeats DecodeData calls over one rectangle take in a plain loop: the C call's own
// time, for measuring what the Python layer adds to it. out is a packed image of the rectangle.
double TimeDecodeData(nb::ndarray<uint8_t, nb::ndim<2>, nb::c_contig, nb::device::cpu> out, uint32_t x, uint32_t y,
                      uint32_t width, uint32_t height, const FrameBuffer& frame, const TableEntries& table,
                      uint32_t repeats) {
    const uint32_t lines = FrameLines(frame);
    if (lines == 0 || !EndsWithin(y, height, lines) || out.shape(0) != height || out.shape(1) != width ||
        DecodeData(out.data(), x, y, width, height, width, frame.data(), table.data()) != FRAMEDEC_OK)
        throw nb::value_error("the rectangle does not decode into out");
    uint8_t* output = out.data();
    ReleasedGil released;
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < repeats; ++i) DecodeData(output, x, y, width, height, width, frame.data(), table.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void BindCpuDecoders(nb::module_& m) {
    m.def("decode_pixels", &DecodePixels, nb::arg("out"), nb::arg("x"), nb::arg("y"), nb::arg("width"),
          nb::arg("height"), nb::arg("frames"), nb::arg("table"), nb::arg("threads"),
          "DecodeData per frame on up to threads threads (one frame with threads > 1: DecodeDataMultiThread); "
          "returns the result code.");
    m.def("decode_coefficients", &DecodeCoefficients, nb::arg("out"), nb::arg("x"), nb::arg("y"), nb::arg("width"),
          nb::arg("height"), nb::arg("frames"), nb::arg("table"), nb::arg("threads"),
          "DecodeDCTData per frame on up to threads threads; returns the result code.");
    m.def("decode_dc", &DecodePreview, nb::arg("out"), nb::arg("x"), nb::arg("y"), nb::arg("width"),
          nb::arg("height"), nb::arg("frames"), nb::arg("threads"),
          "DecodeDCData per frame (in blocks), never reading past a frame; returns the result code.");
    m.def("sequence_numbers", &SequenceNumbers, nb::arg("frames"),
          "ExtractSequenceNo per frame: (result code, uint16 array).");
    m.def("time_decode_data", &TimeDecodeData, nb::arg("out"), nb::arg("x"), nb::arg("y"), nb::arg("width"),
          nb::arg("height"), nb::arg("frame"), nb::arg("table"), nb::arg("repeats"),
          "Seconds taken by repeats DecodeData calls in a C loop (for measuring the binding).");
}

}  // namespace framedec::python
