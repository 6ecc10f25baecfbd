#include "platform/executable_path.h"

namespace framedec::cli {

std::filesystem::path ExecutablePath() {
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored);
}

}  // namespace framedec::cli
