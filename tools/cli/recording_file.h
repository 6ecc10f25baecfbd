// Opening a recording for the tool's commands.
#pragma once

#include <cstdint>
#include <string>

#include "recording/recording.h"

namespace framedec::cli {

// Opens the recording and splits it into frames of heightLines lines. A file that holds bytes but
// not one whole frame is refused: its height is wrong (a recording cut short still holds the frames
// before the cut). On failure error names the file and the sizes.
bool OpenRecording(const std::string& path, uint32_t heightLines, tools::RecordingReader& reader, std::string& error);

}  // namespace framedec::cli
