#include "recording_file.h"

namespace framedec::cli {

bool OpenRecording(const std::string& path, uint32_t heightLines, tools::RecordingReader& reader, std::string& error) {
    if (!reader.Open(path, heightLines, error)) return false;
    const tools::RecordingLayout& layout = reader.layout();
    if (layout.frames == 0 && layout.trailingBytes > 0) {
        error = "recording '" + path + "' is " + std::to_string(layout.trailingBytes) +
                " bytes, less than one frame of " + std::to_string(heightLines) + " lines (" +
                std::to_string(layout.frameBytes) + " bytes): is --height right?";
        return false;
    }
    return true;
}

}  // namespace framedec::cli
