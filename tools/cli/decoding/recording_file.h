// Opening a recording for the tool's commands.
#pragma once

#include <cstdint>
#include <string>

#include "recording/recording.h"

namespace framedec::cli {

// Opens the recording with frames of heightLines lines (0: the height at which its sequence
// numbers run). Unless force is set, a height at which the numbers do not run is refused. On
// failure error is one line naming the file and the problem.
bool OpenRecording(const std::string& path, uint32_t heightLines, bool force, tools::RecordingReader& reader,
                   std::string& error);

}  // namespace framedec::cli
