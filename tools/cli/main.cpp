// framedec: the command-line tool. Synthesises, decodes and inspects the camera's compressed
// frames through the library's exported functions. The platform's entry point (entry_point_*.cpp)
// hands the arguments over in UTF-8.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "commands/commands.h"
#include "commands/exit_status.h"
#include "platform/entry_point.h"

namespace {

using namespace framedec::cli;

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(const std::vector<std::string>& args);
};

constexpr Command kCommands[] = {
    {"synth", "make a compressed frame, or a recording of many, from 8-bit greyscale PGMs", RunSynth},
    {"decode", "decode a frame, or a rectangle of it, to an image file", RunDecode},
    {"info", "check a frame file's size; its sequence number and slot usage", RunInfo},
    {"scan", "list a recording's frames: sequence numbers, drops, repeats, a cut-short end", RunScan},
    {"convert", "decode a recording's frames to a TIFF stack or a PNG or PGM sequence", RunConvert},
    {"demo", "synthesise a frame from a test image, decode it every way, time and compare", RunDemo},
};

void PrintHelp() {
    std::printf("usage: framedec COMMAND [ARGUMENTS]    (framedec COMMAND --help for a command's arguments)\n"
                "       framedec --version\n\n"
                "Looks at the camera's compressed greyscale frames with the framedec library.\n\ncommands:\n");
    for (const Command& c : kCommands)
        std::printf("  %-7s %s\n", std::string(c.name).c_str(), std::string(c.summary).c_str());
    std::printf("\nexit status: 0 success, 1 failure (a file, a frame or the library said no), 2 usage error\n");
}

std::string CommandNames() {
    std::string names;
    for (const Command& c : kCommands) names.append(names.empty() ? "" : ", ").append(c.name);
    return names;
}

}  // namespace

int framedec::cli::RunTool(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        return Fail("", kExitUsage, "missing command (one of " + CommandNames() + "; see framedec --help)");
    const std::string_view name = arguments[0];
    if (name == "--help" || name == "-h") {
        PrintHelp();
        return kExitSuccess;
    }
    if (name == "--version") {
        std::printf("framedec %s\n", FRAMEDEC_VERSION);
        return kExitSuccess;
    }
    for (const Command& c : kCommands) {
        if (c.name != name) continue;
        try {
            const int status = c.run(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
            // A report that could not be written (a full disk, a closed pipe) is no success.
            if (std::fflush(stdout) != 0 && status == kExitSuccess)
                return Fail(c.name, kExitFailure, "cannot write to standard output");
            return status;
        } catch (const std::exception& e) {  // out of memory, a file system error, ...
            return Fail(c.name, kExitFailure, e.what());
        }
    }
    return Fail("", kExitUsage, "unknown command '" + std::string(name) + "' (one of " + CommandNames() + ")");
}
