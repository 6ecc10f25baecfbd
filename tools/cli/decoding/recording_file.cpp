#include "decoding/recording_file.h"

namespace framedec::cli {

bool OpenRecording(const std::string& path, uint32_t heightLines, bool force, tools::RecordingReader& reader,
                   std::string& error) {
    tools::OpenOptions options;  // messages name --height and --force, the defaults
    options.height = heightLines;
    options.check = !force;
    return reader.Open(path, options, error) == tools::RecordingProblem::None;
}

}  // namespace framedec::cli
