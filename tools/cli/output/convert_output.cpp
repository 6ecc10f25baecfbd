#include "output/convert_output.h"

#include <algorithm>
#include <cctype>

#include "platform/output_file.h"

namespace framedec::cli {
namespace {

constexpr uint32_t kWidestNumber = 20;  // digits of the largest 64-bit frame number

bool EndsWith(const std::string& text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    return std::equal(ending.begin(), ending.end(), text.end() - static_cast<std::ptrdiff_t>(ending.size()),
                      [](char e, char t) { return e == std::tolower(static_cast<unsigned char>(t)); });
}

// Splits path at its one frame number. found tells whether it had one; false with error for a
// malformed or second conversion.
bool ParsePattern(const std::string& path, FileNamePattern& pattern, bool& found, std::string& error) {
    found = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        std::string& text = found ? pattern.after : pattern.before;
        if (path[i] != '%') {
            text += path[i];
            continue;
        }
        std::size_t j = i + 1;
        if (j < path.size() && path[j] == '%') {
            text += '%';
            i = j;
            continue;
        }
        const bool zero = j < path.size() && path[j] == '0';
        if (zero) ++j;
        uint32_t width = 0;
        while (j < path.size() && std::isdigit(static_cast<unsigned char>(path[j])) && width <= kWidestNumber)
            width = width * 10 + static_cast<uint32_t>(path[j++] - '0');
        const bool conversion = j < path.size() && (path[j] == 'd' || path[j] == 'u' || path[j] == 'i');
        if (found && conversion) {
            error = "'" + path + "' holds more than one frame number";
            return false;
        }
        if (!conversion || width > kWidestNumber) {
            std::string message(1, '\'');
            message += std::string_view(path).substr(i, j + 1 - i);
            message += "' in '" + path + "' is not a frame number such as %05d (write %% for a percent sign)";
            error = std::move(message);
            return false;
        }
        pattern.width = width;
        pattern.zeroPadded = zero;
        found = true;
        i = j;
    }
    return true;
}

}  // namespace

std::string FileNamePattern::NameOf(uint64_t frame) const {
    const std::string digits = std::to_string(frame);
    const std::size_t pad = width > digits.size() ? width - digits.size() : 0;
    return before + std::string(pad, zeroPadded ? '0' : ' ') + digits + after;
}

const char* FormatName(OutputFormat format) {
    switch (format) {
        case OutputFormat::Tiff: return "TIFF";
        case OutputFormat::Png: return "PNG";
        case OutputFormat::Pgm: return "PGM";
    }
    return "";
}

bool ChooseOutputTarget(const std::string& path, OutputTarget& target, std::string& error) {
    target = {};
    target.path = path;
    if (EndsWith(path, ".tif") || EndsWith(path, ".tiff")) {
        target.format = OutputFormat::Tiff;
    } else if (EndsWith(path, ".png")) {
        target.format = OutputFormat::Png;
    } else if (EndsWith(path, ".pgm")) {
        target.format = OutputFormat::Pgm;
    } else {
        error = "cannot tell the output format of '" + path +
                "': write a .tif or .tiff name for a TIFF stack, or a .png or .pgm name with a frame number "
                "(frames/f%05d.png) for one file per frame";
        return false;
    }
    // A TIFF's name is taken as it is, but a frame number in it shows that one file per frame was meant.
    bool numbered = false;
    std::string patternError;
    const bool parsed = ParsePattern(path, target.pattern, numbered, patternError);
    if (target.format == OutputFormat::Tiff) {
        if (!parsed || !numbered) return true;
        error = "'" + path + "' holds a frame number, but a TIFF stack holds all frames in one file";
        return false;
    }
    if (!parsed) {
        error = patternError;
        return false;
    }
    if (!numbered) {
        error = "'" + path + "' needs a frame number such as %05d (frames/f%05d." +
                (target.format == OutputFormat::Png ? "png" : "pgm") + "): a " + FormatName(target.format) +
                " holds one frame";
        return false;
    }
    return true;
}

std::pair<std::string, std::string> NameThatIsAnInput(const OutputTarget& target, uint64_t first, uint64_t files,
                                                      std::span<const std::string> inputs) {
    const uint64_t names = target.format == OutputFormat::Tiff ? 1 : files;
    for (uint64_t i = 0; i < names; ++i) {
        const std::string name = target.format == OutputFormat::Tiff ? target.path : target.pattern.NameOf(first + i);
        if (std::string input = InputThatIsTheOutput(name, inputs); !input.empty()) return {name, std::move(input)};
    }
    return {};
}

}  // namespace framedec::cli
