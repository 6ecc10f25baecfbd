// Built instead of tiff_stack.cpp when neither libdeflate nor zlib is found.
#include "output/frame_writer.h"

namespace framedec::cli {

std::unique_ptr<FrameWriter> OpenTiffStack(const std::string&, const WriterOptions&, std::string& error) {
    error = "this build of framedec has no TIFF support";
    return nullptr;
}

}  // namespace framedec::cli
