// The quantisation table a command uses: --table FILE or --quality N, else the default table.
#pragma once

#include <string>

#include "commands/arguments.h"
#include "synth/frame_synth.h"

namespace framedec::cli {

inline constexpr OptionSpec kTableOption{"--table"};
inline constexpr OptionSpec kQualityOption{"--quality"};

struct TableChoice {
    tools::QuantTable table = tools::DefaultTable();
    std::string description = "the default table";
};

// Returns kExitSuccess, kExitUsage (both options, a bad quality) or kExitFailure (an unreadable or
// malformed table file), with error set for the failures.
int ChooseTable(const Arguments& parsed, TableChoice& choice, std::string& error);

}  // namespace framedec::cli
