#include "commands/demo_image.h"

#include "platform/executable_path.h"

namespace framedec::cli {

std::vector<std::filesystem::path> DemoImageCandidates() {
    std::vector<std::filesystem::path> candidates;
    const std::filesystem::path executable = ExecutablePath();
    if (!executable.empty())
        candidates.push_back((executable.parent_path() / FRAMEDEC_DATA_DIR_FROM_BIN / kDemoImageName).lexically_normal());
    candidates.push_back(std::filesystem::path(FRAMEDEC_SOURCE_DATA_DIR) / kDemoImageName);
    return candidates;
}

}  // namespace framedec::cli
