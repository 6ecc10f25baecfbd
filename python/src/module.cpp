#include "bindings.h"

#include <cstring>
#include <vector>

#include "codec/frame_geometry.h"
#include "frame_batch.h"
#include "released_gil.h"

namespace framedec::python {

uint32_t FrameLines(const FrameBuffer& frame) {
    return FrameLinesOfBytes(frame.shape(0));
}

uint32_t FrameLines(const Frames& frames) {
    return frames.shape(2) == kFrameBytesPerLine ? FrameLinesOfBytes(frames.shape(1) * frames.shape(2)) : 0;
}

const uint8_t* FrameAt(const Frames& frames, std::size_t i) {
    const uint8_t* first = frames.data() + static_cast<int64_t>(i) * frames.stride(0);
    const std::size_t lines = frames.shape(1), columns = frames.shape(2);
    if (frames.stride(2) == 1 && (lines == 1 || frames.stride(1) == static_cast<int64_t>(columns))) return first;
    thread_local std::vector<uint8_t> packed;
    packed.resize(lines * columns);
    for (std::size_t line = 0; line < lines; ++line) {
        const uint8_t* from = first + static_cast<int64_t>(line) * frames.stride(1);
        uint8_t* to = packed.data() + line * columns;
        if (frames.stride(2) == 1) {
            std::memcpy(to, from, columns);
            continue;
        }
        for (std::size_t column = 0; column < columns; ++column) to[column] = from[static_cast<int64_t>(column) * frames.stride(2)];
    }
    return packed.data();
}

}  // namespace framedec::python

NB_MODULE(_framedec, module) {
    using namespace framedec;
    module.doc() = "framedec's native layer; use the functions of the framedec package instead.";
    // The frame geometry, for the Python layer's checks and defaults.
    module.attr("VERSION") = FRAMEDEC_VERSION;
    module.attr("BLOCK_SIZE") = kBlockSize;
    module.attr("FRAME_BYTES_PER_LINE") = kFrameBytesPerLine;
    module.attr("MAX_IMAGE_WIDTH") = kMaxImageWidth;
    module.attr("PADDED_IMAGE_WIDTH") = kPaddedImageWidth;
    module.attr("MAX_IMAGE_HEIGHT") = kMaxImageHeight;
    module.attr("GRID_POSITIONS_PER_ROW") = kGridPositionsPerRow;
    framedec::python::BindCpuDecoders(module);
    framedec::python::BindGpu(module);
    framedec::python::BindTools(module);
    framedec::python::BindRecording(module);
    framedec::python::PrepareReleasedGilForExit();
    module.def("forget_threads_after_fork", [] {
        framedec::python::ForgetReleasedGilAfterFork();
        framedec::python::ForgetBatchWorkersAfterFork();
    }, "In a child after fork: forget the parent's calls in flight and batch workers.");
    nanobind::module_ os = nanobind::module_::import_("os");
    if (nanobind::hasattr(os, "register_at_fork"))
        os.attr("register_at_fork")(nanobind::arg("after_in_child") = module.attr("forget_threads_after_fork"));
}
