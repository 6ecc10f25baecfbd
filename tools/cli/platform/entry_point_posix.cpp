// POSIX: the arguments are the command line's bytes, file names included.
#include "platform/entry_point.h"

int main(int argc, char** argv) { return framedec::cli::RunTool(std::vector<std::string>(argv + 1, argv + argc)); }
