#include "commands/exit_status.h"

#include <cstdio>

namespace framedec::cli {

int Fail(std::string_view command, int status, const std::string& message) {
    std::string line = "framedec";
    if (!command.empty()) line.append(" ").append(command);
    line.append(": ").append(message);
    // A message quoting a user's value must still be one line.
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
    return status;
}

}  // namespace framedec::cli
