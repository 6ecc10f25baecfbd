#include "commands/arguments.h"

#include <algorithm>
#include <charconv>

#include "codec/frame_geometry.h"

namespace framedec::cli {
namespace {

const OptionSpec* FindOption(std::span<const OptionSpec> options, std::string_view name) {
    for (const OptionSpec& o : options)
        if (o.name == name || (!o.shortName.empty() && o.shortName == name)) return &o;
    return nullptr;
}

bool LooksLikeOption(std::string_view arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace

bool WantsHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

bool ParseArguments(const std::vector<std::string>& args, std::span<const OptionSpec> options, Arguments& parsed,
                    std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!LooksLikeOption(arg)) {
            parsed.positionals.push_back(arg);
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = std::string_view(arg).substr(0, equals);
        const OptionSpec* option = FindOption(options, name);
        if (option == nullptr) {
            error = "unknown option '" + std::string(name) + "'";
            return false;
        }
        const std::string longName(option->name);
        std::string value;
        if (!option->takesValue) {
            if (equals != std::string::npos) {
                error = "option " + longName + " takes no value, got '" + arg.substr(equals + 1) + "'";
                return false;
            }
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = "option " + arg + " needs a value";
            return false;
        }
        if (!parsed.values.emplace(longName, value).second) {
            error = "option " + longName + " given twice (again as '" + arg + "')";
            return false;
        }
    }
    return true;
}

bool CheckPositionals(const Arguments& parsed, std::span<const std::string_view> names, std::string& error) {
    if (parsed.positionals.size() < names.size()) {
        error = "missing " + std::string(names[parsed.positionals.size()]);
        return false;
    }
    if (parsed.positionals.size() > names.size()) {
        error = "unexpected argument '" + parsed.positionals[names.size()] + "'";
        return false;
    }
    return true;
}

bool ParseUnsigned(std::string_view text, uint64_t min, uint64_t max, uint64_t& value) {
    uint64_t parsed = 0;
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, parsed);
    if (text.empty() || status != std::errc() || stop != end || parsed < min || parsed > max) return false;
    value = parsed;
    return true;
}

bool UnsignedOption(const Arguments& parsed, std::string_view name, uint32_t min, uint32_t max, uint32_t& value,
                    std::string& error) {
    if (!parsed.Has(name)) return true;
    uint64_t number = 0;
    if (!ParseUnsigned(parsed.Value(name), min, max, number)) {
        error = std::string(name) + " must be an integer from " + std::to_string(min) + " to " + std::to_string(max) +
                ", got '" + parsed.Value(name) + "'";
        return false;
    }
    value = static_cast<uint32_t>(number);
    return true;
}

bool FrameHeightOption(const Arguments& parsed, bool required, uint32_t& height, std::string& error) {
    if (!parsed.Has("--height")) {
        if (required) error = "missing --height (the frame's height in lines)";
        return !required;
    }
    uint64_t number = 0;
    if (!ParseUnsigned(parsed.Value("--height"), kBlockSize, kMaxImageHeight, number) || number % kBlockSize != 0) {
        error = "--height must be a multiple of " + std::to_string(kBlockSize) + " from " + std::to_string(kBlockSize) +
                " to " + std::to_string(kMaxImageHeight) + ", got '" + parsed.Value("--height") + "'";
        return false;
    }
    height = static_cast<uint32_t>(number);
    return true;
}

bool RecordingHeightOption(const Arguments& parsed, uint32_t& height, std::string& error) {
    if (parsed.Has("--height") && parsed.Value("--height") == "auto") {
        height = 0;
        return true;
    }
    if (FrameHeightOption(parsed, true, height, error)) return true;
    if (parsed.Has("--height"))
        error = "--height must be a multiple of " + std::to_string(kBlockSize) + " from " + std::to_string(kBlockSize) +
                " to " + std::to_string(kMaxImageHeight) + " or auto, got '" + parsed.Value("--height") + "'";
    return false;
}

bool OutputOption(const Arguments& parsed, std::string& path, std::string& error) {
    if (!parsed.Has("--output") || parsed.Value("--output").empty()) {
        error = "missing -o OUTPUT (the file to write)";
        return false;
    }
    path = parsed.Value("--output");
    return true;
}

}  // namespace framedec::cli
