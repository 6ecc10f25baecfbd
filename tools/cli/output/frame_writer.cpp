#include "output/frame_writer.h"

namespace framedec::cli {

std::unique_ptr<FrameWriter> OpenFrameWriter(const OutputTarget& target, const WriterOptions& options,
                                             std::string& error) {
    if (target.format == OutputFormat::Tiff) return OpenTiffStack(target.path, options, error);
    return OpenImageSequence(target, error);
}

std::string FrameLabel(const ConvertedFrame& frame) {
    if (frame.dropped) return "dropped sequence_number=" + std::to_string(frame.sequenceNo);
    return "frame=" + std::to_string(frame.index) + " sequence_number=" + std::to_string(frame.sequenceNo);
}

}  // namespace framedec::cli
