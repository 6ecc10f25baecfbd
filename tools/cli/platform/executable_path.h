// Where the running program's executable file lies, to find files installed beside it.
#pragma once

#include <filesystem>

namespace framedec::cli {

// The executable's absolute path; empty when the platform cannot tell.
std::filesystem::path ExecutablePath();

}  // namespace framedec::cli
