// The CPU decoders and the sequence number: DecodeData, DecodeDataMultiThread, DecodeDCTData,
// DecodeDCData, ExtractSequenceNo.
#include <array>
#include <chrono>
#include <cstring>

#include "bindings.h"
#include "codec/frame_geometry.h"
#include "framedec.h"

namespace framedec::python {
namespace {

// What a call the binding cannot make safely returns: the library's own refusal code.
constexpr int32_t kRefused = FRAMEDEC_INVALID_ARGUMENT;

// The byte pitch of out as an image of width x height elements: false unless out has exactly that
// shape, adjacent elements within a row and rows at least a row apart.
template <class T>
bool PitchOf(const OutputImage<T>& out, uint32_t width, uint32_t height, uint32_t& pitch) {
    if (out.shape(0) != height || out.shape(1) != width) return false;
    if (width > 1 && out.stride(1) != 1) return false;
    const uint64_t rowBytes = uint64_t{width} * sizeof(T);
    if (height <= 1) {
        pitch = static_cast<uint32_t>(rowBytes);
        return true;
    }
    const int64_t stride = out.stride(0);
    if (stride < 0) return false;
    const uint64_t strideBytes = static_cast<uint64_t>(stride) * sizeof(T);
    if (strideBytes < rowBytes || strideBytes > UINT32_MAX) return false;
    pitch = static_cast<uint32_t>(strideBytes);
    return true;
}

// An empty output array may have no storage; the library refuses a null pointer even where it
// would write nothing.
template <class T>
T* OutputPointer(OutputImage<T>& out, T& placeholder) {
    return out.data() != nullptr ? out.data() : &placeholder;
}

bool EndsWithin(uint32_t start, uint32_t length, uint32_t limit) { return uint64_t{start} + length <= limit; }

int32_t DecodePixels(OutputImage<uint8_t> out, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                     const FrameBuffer& frame, const TableEntries& table, uint32_t threads) {
    const uint32_t lines = FrameLines(frame);
    uint32_t pitch = 0;
    if (lines == 0 || !EndsWithin(y, height, lines) || !PitchOf(out, width, height, pitch)) return kRefused;
    uint8_t placeholder = 0;
    uint8_t* output = OutputPointer(out, placeholder);
    nb::gil_scoped_release release;
    if (threads == 1) return DecodeData(output, x, y, width, height, pitch, frame.data(), table.data());
    return DecodeDataMultiThread(output, x, y, width, height, pitch, frame.data(), table.data(), threads);
}

int32_t DecodeCoefficients(OutputImage<int16_t> out, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                           const FrameBuffer& frame, const TableEntries& table) {
    const uint32_t lines = FrameLines(frame);
    uint32_t pitch = 0;
    if (lines == 0 || !EndsWithin(y, height, lines) || !PitchOf(out, width, height, pitch)) return kRefused;
    int16_t placeholder = 0;
    int16_t* output = OutputPointer(out, placeholder);
    nb::gil_scoped_release release;
    return DecodeDCTData(output, x, y, width, height, pitch, frame.data(), table.data());
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

int32_t DecodePreview(OutputImage<uint8_t> out, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                      const FrameBuffer& frame) {
    const uint32_t blockRows = FrameLines(frame) / kBlockSize;
    uint32_t pitch = 0;
    if (blockRows == 0 || !EndsWithin(y, height, blockRows) || !PitchOf(out, width, height, pitch)) return kRefused;
    uint8_t placeholder = 0;
    uint8_t* output = OutputPointer(out, placeholder);
    nb::gil_scoped_release release;
    return DecodePreviewRows(output, pitch, x, y, width, height, frame.data(), blockRows);
}

nb::tuple SequenceNumber(const FrameBuffer& frame) {
    const uint32_t lines = FrameLines(frame);
    uint16_t sequenceNo = 0;
    const int32_t result = lines == 0 ? kRefused : ExtractSequenceNo(frame.data(), 0, lines, &sequenceNo);
    return nb::make_tuple(result, sequenceNo);
}

// Seconds that repeats DecodeData calls over one rectangle take in a plain loop: the C call's own
// time, for measuring what the Python layer adds to it.
double TimeDecodeData(OutputImage<uint8_t> out, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                      const FrameBuffer& frame, const TableEntries& table, uint32_t repeats) {
    const uint32_t lines = FrameLines(frame);
    uint32_t pitch = 0;
    if (lines == 0 || !EndsWithin(y, height, lines) || !PitchOf(out, width, height, pitch) ||
        DecodeData(out.data(), x, y, width, height, pitch, frame.data(), table.data()) != FRAMEDEC_OK)
        throw nb::value_error("the rectangle does not decode into out");
    uint8_t* output = out.data();
    nb::gil_scoped_release release;
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < repeats; ++i) DecodeData(output, x, y, width, height, pitch, frame.data(), table.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void BindCpuDecoders(nb::module_& m) {
    m.def("decode_pixels", &DecodePixels, nb::arg("out"), nb::arg("x"), nb::arg("y"), nb::arg("width"),
          nb::arg("height"), nb::arg("frame"), nb::arg("table"), nb::arg("threads"),
          "DecodeData (threads 1) or DecodeDataMultiThread into out; returns the result code.");
    m.def("decode_coefficients", &DecodeCoefficients, nb::arg("out"), nb::arg("x"), nb::arg("y"), nb::arg("width"),
          nb::arg("height"), nb::arg("frame"), nb::arg("table"), "DecodeDCTData into out; returns the result code.");
    m.def("decode_dc", &DecodePreview, nb::arg("out"), nb::arg("x"), nb::arg("y"), nb::arg("width"),
          nb::arg("height"), nb::arg("frame"),
          "DecodeDCData into out (in blocks), never reading past the frame; returns the result code.");
    m.def("sequence_number", &SequenceNumber, nb::arg("frame"), "ExtractSequenceNo: (result code, number).");
    m.def("time_decode_data", &TimeDecodeData, nb::arg("out"), nb::arg("x"), nb::arg("y"), nb::arg("width"),
          nb::arg("height"), nb::arg("frame"), nb::arg("table"), nb::arg("repeats"),
          "Seconds taken by repeats DecodeData calls in a C loop (for measuring the binding).");
}

}  // namespace framedec::python
