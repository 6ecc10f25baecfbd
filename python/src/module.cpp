#include "bindings.h"

#include "codec/frame_geometry.h"

namespace framedec::python {

uint32_t FrameLines(const FrameBuffer& frame) {
    return FrameLinesOfBytes(frame.shape(0));
}

uint32_t FrameLines(const Frames& frames) {
    return FrameLinesOfBytes(frames.shape(1));
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
}
