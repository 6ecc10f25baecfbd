// Exit statuses of the framedec tool and its one-line error reports.
#pragma once

#include <string>
#include <string_view>

namespace framedec::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a file, a frame or the library said no
inline constexpr int kExitUsage = 2;    // the command line itself is wrong

// Prints "framedec COMMAND: MESSAGE" as one line on standard error and returns status.
int Fail(std::string_view command, int status, const std::string& message);

}  // namespace framedec::cli
