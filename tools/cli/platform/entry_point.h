// The tool's own main, behind the platform's entry point (entry_point_posix.cpp,
// entry_point_windows.cpp).
#pragma once

#include <string>
#include <vector>

namespace framedec::cli {

// Runs the command line's arguments after the program name, given in UTF-8 (on Linux as the
// command line's bytes), and returns the exit status.
int RunTool(const std::vector<std::string>& arguments);

}  // namespace framedec::cli
