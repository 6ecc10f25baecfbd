// framedec synth: compressed frames from 8-bit greyscale PGMs, with the project's synthesiser: one
// frame, or a recording of many with consecutive sequence numbers and chosen ones left out.
#include <algorithm>
#include <cstdio>

#include "codec/frame_geometry.h"
#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/exit_status.h"
#include "commands/table_option.h"
#include "platform/console.h"
#include "platform/output_file.h"
#include "synth/frame_synth.h"

namespace framedec::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--output", true, "-o"}, kTableOption, kQualityOption, {"--seq"}, {"--height"}, {"--count"}, {"--drop"},
};

constexpr uint32_t kMaxCount = 10'000'000;
constexpr uint32_t kSequenceNumbers = 65536;

constexpr const char* kHelp =
    "usage: framedec synth IMAGE.pgm [IMAGE.pgm ...] -o OUT.bin [--count N] [--seq N] [--drop LIST]\n"
    "                      [--table FILE | --quality N] [--height H]\n"
    "\n"
    "Encodes 8-bit greyscale PGMs as compressed frames (1246 pixels wide, H lines, H x 320 bytes\n"
    "each) and writes them back to back: one image gives one frame, several give a recording with\n"
    "a frame for each. A larger image is cropped, a smaller one padded: edge pixels fill the last\n"
    "partial block, and blocks beyond the image are empty (they decode mid-grey).\n"
    "The frames carry consecutive sequence numbers from --seq (65535 is followed by 0), skipping\n"
    "those given with --drop, as if the camera had dropped those frames.\n"
    "\n"
    "  -o, --output FILE  the frame or recording file to write (written whole or not at all)\n"
    "  --count N          frames to write, 1 to 10000000, taking the images in turn (default: one per image)\n"
    "  --seq N            the first frame's sequence number, 0 to 65535 (default 0)\n"
    "  --drop LIST        sequence numbers to leave out: numbers and ranges A-B separated by commas (5,9-12)\n"
    "  --table FILE       quantisation table: 64 integers in natural order, separated by white space\n"
    "  --quality N        the JPEG-style table of quality N (1 to 100); default: the default table\n"
    "  --height H         frame height in lines, a multiple of 8 up to 1024 (default: the tallest image's,\n"
    "                     rounded up)\n";

// "cropped to 1246", "padded to 1248" or "fits (1246)".
std::string Fit(uint32_t image, uint32_t frame, const char* unit) {
    const std::string size = std::to_string(frame) + " " + unit;
    if (image > frame) return "cropped to " + size;
    if (image < frame) return "padded to " + size;
    return "fits (" + size + ")";
}

// --drop: "5,9-12" marks 5, 9, 10, 11 and 12. Refuses a list that leaves no number to use.
bool ParseDropList(const Arguments& parsed, std::vector<bool>& dropped, std::string& error) {
    dropped.assign(kSequenceNumbers, false);
    if (!parsed.Has("--drop")) return true;
    const std::string& text = parsed.Value("--drop");
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = std::string_view(text).substr(start, comma - start);
        const std::size_t dash = item.find('-');
        uint64_t first = 0, last = 0;
        const bool valid = dash == std::string_view::npos
                               ? ParseUnsigned(item, 0, kSequenceNumbers - 1, first) && (last = first, true)
                               : ParseUnsigned(item.substr(0, dash), 0, kSequenceNumbers - 1, first) &&
                                     ParseUnsigned(item.substr(dash + 1), first, kSequenceNumbers - 1, last);
        if (!valid) {
            error =
                "--drop must list sequence numbers (0 to 65535) and ranges A-B with A <= B, separated by commas; '" +
                std::string(item) + "' in '" + text + "' is neither";
            return false;
        }
        std::fill(dropped.begin() + static_cast<std::ptrdiff_t>(first),
                  dropped.begin() + static_cast<std::ptrdiff_t>(last) + 1, true);
        if (comma == text.size()) break;
        start = comma + 1;
    }
    if (std::find(dropped.begin(), dropped.end(), false) == dropped.end()) {
        error = "--drop '" + text + "' leaves no sequence number to use";
        return false;
    }
    return true;
}

// The sequence numbers of a synthesised recording: consecutive modulo 65536, skipping dropped ones.
struct Numbering {
    const std::vector<bool>& dropped;
    uint16_t next;         // the number the next frame would take, before skipping dropped ones
    uint64_t skipped = 0;  // numbers left out between the first frame and the last

    uint16_t Take(bool firstFrame) {
        while (dropped[next]) {
            ++next;
            skipped += !firstFrame;
        }
        return next++;
    }
};

struct WrittenRecording {
    uint16_t firstNumber = 0, lastNumber = 0;
    uint64_t skipped = 0;
};

// Writes the frames one at a time, through a temporary file renamed over the output at the end.
bool WriteRecording(const std::string& output, const std::vector<std::vector<uint8_t>>& encoded, uint32_t count,
                    Numbering numbering, WrittenRecording& written, std::string& error) {
    CatchInterrupts();  // from before the temporary file on, so that Ctrl-C leaves none behind
    const FileContents frames = [&](std::FILE* file, std::string& stop) {
        std::vector<uint8_t> frame;
        for (uint32_t i = 0; i < count; ++i) {
            if (Interrupted()) {
                stop = "interrupted after " + std::to_string(i) + " of " + std::to_string(count) + " frames";
                return false;
            }
            frame = encoded[i % encoded.size()];
            const uint16_t number = numbering.Take(i == 0);
            if (i == 0) written.firstNumber = number;
            written.lastNumber = number;
            tools::SetSequenceNumber(frame, number);
            if (std::fwrite(frame.data(), 1, frame.size(), file) != frame.size()) return false;
        }
        return true;
    };
    if (!WriteFileAtomically(output, frames, error)) return false;
    written.skipped = numbering.skipped;
    return true;
}

}  // namespace

int RunSynth(const std::vector<std::string>& args) {
    constexpr const char* kName = "synth";
    if (WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return kExitSuccess;
    }
    Arguments parsed;
    std::string error, output;
    tools::SynthOptions options;
    uint32_t firstNumber = 0, count = 0;
    std::vector<bool> dropped;
    if (!ParseArguments(args, kOptions, parsed, error) || !OutputOption(parsed, output, error) ||
        !FrameHeightOption(parsed, false, options.frameHeight, error) ||
        !UnsignedOption(parsed, "--seq", 0, kSequenceNumbers - 1, firstNumber, error) ||
        !UnsignedOption(parsed, "--count", 1, kMaxCount, count, error) || !ParseDropList(parsed, dropped, error))
        return Fail(kName, kExitUsage, error);
    if (parsed.positionals.empty())
        return Fail(kName, kExitUsage, "missing IMAGE.pgm (the 8-bit greyscale image to encode)");
    if (count == 0) count = static_cast<uint32_t>(parsed.positionals.size());

    TableChoice table;
    if (const int status = ChooseTable(parsed, table, error); status != kExitSuccess) return Fail(kName, status, error);
    options.table = table.table;
    std::vector<std::string> inputs = parsed.positionals;
    if (parsed.Has("--table")) inputs.push_back(parsed.Value("--table"));
    if (const std::string input = InputThatIsTheOutput(output, inputs); !input.empty())
        return Fail(kName, kExitFailure, "'" + output + "' is the input " + input + " itself: choose another output name");
    std::vector<tools::GreyImage> images(parsed.positionals.size());
    for (std::size_t i = 0; i < images.size(); ++i)
        if (!tools::ReadPgm(parsed.positionals[i], images[i], error)) return Fail(kName, kExitFailure, error);
    if (options.frameHeight == 0) {
        uint32_t tallest = 0;
        for (const tools::GreyImage& image : images)
            tallest = std::max(tallest, std::min(image.height, kMaxImageHeight));
        options.frameHeight = (tallest + kBlockSize - 1) / kBlockSize * kBlockSize;
    }

    // Each image is encoded once; only the sequence number differs between its frames.
    std::vector<std::vector<uint8_t>> encoded;
    std::string report;  // printed once the output is written
    for (std::size_t i = 0; i < images.size() && i < count; ++i) {
        tools::SynthStats stats;
        encoded.push_back(tools::SynthesizeFrame(images[i], options, &stats));
        report += parsed.positionals[i] + ": " + std::to_string(images[i].width) + " x " +
                  std::to_string(images[i].height) + " pixels; width " +
                  Fit(images[i].width, kMaxImageWidth, "pixels") + ", height " +
                  Fit(images[i].height, options.frameHeight, "lines") + "\n" + std::to_string(stats.blocks) +
                  " blocks: " + std::to_string(stats.emptySlots) + " empty, " + std::to_string(stats.truncatedBlocks) +
                  " lost coefficients to fit their slot\n";
        images[i] = {};
    }
    WrittenRecording written;
    if (!WriteRecording(output, encoded, count, {dropped, static_cast<uint16_t>(firstNumber)}, written, error))
        return Fail(kName, kExitFailure, error);

    const uint64_t bytes = uint64_t{count} * FrameBytes(options.frameHeight);
    std::fputs(report.c_str(), stdout);
    if (count == 1) {
        std::printf("wrote %s: %u lines, %llu bytes, sequence number %u, %s\n", output.c_str(), options.frameHeight,
                    static_cast<unsigned long long>(bytes), written.firstNumber, table.description.c_str());
    } else {
        std::printf("wrote %s: %u frames of %u lines, %llu bytes, sequence numbers %u to %u (%llu left out), %s\n",
                    output.c_str(), count, options.frameHeight, static_cast<unsigned long long>(bytes),
                    written.firstNumber, written.lastNumber, static_cast<unsigned long long>(written.skipped),
                    table.description.c_str());
    }
    return kExitSuccess;
}

}  // namespace framedec::cli
