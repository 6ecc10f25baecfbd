#include "decoding/frame_file.h"

#include <filesystem>

#include "codec/frame_geometry.h"
#include "synth/file_bytes.h"
#include "synth/file_path.h"

namespace framedec::cli {
namespace {

bool WrongSize(const std::string& path, uintmax_t size, uint32_t heightLines, std::string& error) {
    error = "frame file '" + path + "' is " + std::to_string(size) + " bytes, not " + std::to_string(heightLines) +
            " x " + std::to_string(kFrameBytesPerLine) + " = " + std::to_string(FrameBytes(heightLines));
    if (const uint32_t fits = FrameLinesOfBytes(size); fits != 0)
        error += " (it would fit --height " + std::to_string(fits) + ")";
    return false;
}

}  // namespace

bool ReadFrameFile(const std::string& path, uint32_t heightLines, std::vector<uint8_t>& frame, std::string& error) {
    const std::size_t expected = FrameBytes(heightLines);
    // A regular file of the wrong size is refused unread (it may be anything, and large). Without a
    // size (missing, a directory, a pipe) the reader reports the problem or reads what there is.
    std::error_code noSize;
    const uintmax_t size = std::filesystem::file_size(tools::PathFromUtf8(path), noSize);
    if (!noSize && size != expected) return WrongSize(path, size, heightLines, error);
    if (!tools::ReadFileBytes(path, "frame file", expected, frame, error)) {
        if (frame.size() > expected)
            error = "frame file '" + path + "' holds more than one frame of " + std::to_string(heightLines) +
                    " lines (" + std::to_string(expected) + " bytes)";
        return false;
    }
    if (frame.size() != expected) return WrongSize(path, frame.size(), heightLines, error);
    return true;
}

}  // namespace framedec::cli
