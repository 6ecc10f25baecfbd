// The extension module `framedec._framedec`: thin functions over the library's exported C calls,
// the frame synthesiser and the recording core. Arguments arrive checked by the Python layer; each
// function still checks that its buffers fit the call (a refusal is result 5), so that nothing it
// does can read or write outside them. Every decode runs with the GIL released.
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

#include <cstdint>

namespace framedec::python {

namespace nb = nanobind;

// A compressed frame: H x 320 bytes, read only.
using FrameBuffer = nb::ndarray<const uint8_t, nb::ndim<1>, nb::c_contig, nb::device::cpu>;
// A quantisation table: 64 entries in natural order.
using TableEntries = nb::ndarray<const uint16_t, nb::shape<64>, nb::c_contig, nb::device::cpu>;
// An image written by a decoder: rows may lie any distance apart, elements within a row adjacent.
template <class T>
using OutputImage = nb::ndarray<T, nb::ndim<2>, nb::device::cpu>;

// The frame's height in lines, or 0 when its length is not that of a frame.
uint32_t FrameLines(const FrameBuffer& frame);

void BindCpuDecoders(nb::module_& module);
void BindGpu(nb::module_& module);
void BindTools(nb::module_& module);

}  // namespace framedec::python
