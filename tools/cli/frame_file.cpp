#include "frame_file.h"

#include "codec/frame_geometry.h"
#include "synth/file_bytes.h"

namespace framedec::cli {

bool ReadFrameFile(const std::string& path, uint32_t heightLines, std::vector<uint8_t>& frame, std::string& error) {
    if (!tools::ReadFileBytes(path, "frame file", frame, error)) return false;
    const std::size_t expected = FrameBytes(heightLines);
    if (frame.size() == expected) return true;
    error = "frame file '" + path + "' is " + std::to_string(frame.size()) + " bytes, not " +
            std::to_string(heightLines) + " x " + std::to_string(kFrameBytesPerLine) + " = " + std::to_string(expected);
    if (frame.size() % kBlockRowBytes == 0 && frame.size() != 0 && frame.size() <= FrameBytes(kMaxImageHeight))
        error += " (it would fit --height " + std::to_string(frame.size() / kFrameBytesPerLine) + ")";
    frame.clear();
    return false;
}

}  // namespace framedec::cli
