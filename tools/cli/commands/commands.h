// The tool's subcommands. Each takes the arguments after its name and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace framedec::cli {

int RunSynth(const std::vector<std::string>& args);
int RunDecode(const std::vector<std::string>& args);
int RunInfo(const std::vector<std::string>& args);
int RunScan(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunDemo(const std::vector<std::string>& args);

}  // namespace framedec::cli
