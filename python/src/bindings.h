// The extension module `framedec._framedec`: thin functions over the library's exported C calls,
// the frame synthesiser and the recording core. Arguments arrive checked by the Python layer; each
// function still checks that its buffers fit the call (a refusal is result 5), so that nothing it
// does can read or write outside them. Every decode runs with the GIL released (ReleasedGil).
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace framedec::python {

namespace nb = nanobind;

// A compressed frame: H x 320 bytes, read only.
using FrameBuffer = nb::ndarray<const uint8_t, nb::ndim<1>, nb::c_contig, nb::device::cpu>;
// Frames of one height, (N, H, 320), laid out in memory in any way: a broadcast or strided batch
// is read frame by frame where it lies, never copied whole (a single frame is a batch of one).
using Frames = nb::ndarray<const uint8_t, nb::ndim<3>, nb::device::cpu>;
// A quantisation table: 64 entries in natural order.
using TableEntries = nb::ndarray<const uint16_t, nb::shape<64>, nb::c_contig, nb::device::cpu>;
// The images a decoder writes, one per frame: rows and images may lie any distance apart,
// elements within a row adjacent.
template <class T>
using OutputImages = nb::ndarray<T, nb::ndim<3>, nb::device::cpu>;

// Where each image and row of an output lies: bytes between rows, elements between images.
struct ImageLayout {
    uint32_t pitch = 0;
    std::size_t imageStride = 0;
};

template <class T>
using NumpyVector = nb::ndarray<nb::numpy, T, nb::ndim<1>>;

// A numpy array that owns the vector's storage (no copy).
template <class T>
NumpyVector<T> ToNumpy(std::vector<T>&& values) {
    auto* owned = new std::vector<T>(std::move(values));
    nb::capsule owner(owned, [](void* p) noexcept { delete static_cast<std::vector<T>*>(p); });
    return NumpyVector<T>(owned->data(), {owned->size()}, owner);
}

// The frames' height in lines, or 0 when their length is not that of a frame.
uint32_t FrameLines(const FrameBuffer& frame);
uint32_t FrameLines(const Frames& frames);

// Frame i of frames as contiguous bytes: where it lies when its lines are packed, else a copy in
// a buffer of the calling thread (valid until its next call).
const uint8_t* FrameAt(const Frames& frames, std::size_t i);

void BindCpuDecoders(nb::module_& module);
void BindGpu(nb::module_& module);
void BindTools(nb::module_& module);
void BindRecording(nb::module_& module);

}  // namespace framedec::python
