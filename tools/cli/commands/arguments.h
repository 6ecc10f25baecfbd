// Command-line parsing shared by the subcommands: options with and without values, positional
// arguments, and the numbers the options carry. Every error is one line naming the problem and
// the value, for a usage error (exit status 2).
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace framedec::cli {

struct OptionSpec {
    std::string_view name;            // "--height"
    bool takesValue = true;
    std::string_view shortName = {};  // "-o"
};

struct Arguments {
    std::vector<std::string> positionals;
    std::map<std::string, std::string, std::less<>> values;  // by long name; "" for a flag

    bool Has(std::string_view name) const { return values.find(name) != values.end(); }
    const std::string& Value(std::string_view name) const { return values.find(name)->second; }
};

// Whether --help or -h appears anywhere: help wins over every other argument.
bool WantsHelp(const std::vector<std::string>& args);

// Splits args into options (given as "--name value", "--name=value" or "-o value") and
// positionals. Refuses unknown options, a missing value and an option given twice.
bool ParseArguments(const std::vector<std::string>& args, std::span<const OptionSpec> options, Arguments& parsed,
                    std::string& error);

// Exactly the expected positionals (their names for the messages, e.g. "IMAGE.pgm").
bool CheckPositionals(const Arguments& parsed, std::span<const std::string_view> names, std::string& error);

// A decimal integer in min..max, digits only.
bool ParseUnsigned(std::string_view text, uint64_t min, uint64_t max, uint64_t& value);

// Option name's value as an integer in min..max, if the option was given (else value is kept).
bool UnsignedOption(const Arguments& parsed, std::string_view name, uint32_t min, uint32_t max, uint32_t& value,
                    std::string& error);

// --height: a multiple of 8 from 8 to 1024 (a frame holds whole block rows). When it is not
// required and not given, height is kept.
bool FrameHeightOption(const Arguments& parsed, bool required, uint32_t& height, std::string& error);

// --height for a recording: required, a frame height as above or "auto" (height 0: the recording's
// sequence numbers tell it).
bool RecordingHeightOption(const Arguments& parsed, uint32_t& height, std::string& error);

// -o / --output: required.
bool OutputOption(const Arguments& parsed, std::string& path, std::string& error);

}  // namespace framedec::cli
