// framedec synth: a compressed frame from an 8-bit greyscale PGM, with the project's synthesiser.
#include <algorithm>
#include <cstdio>

#include "arguments.h"
#include "commands.h"
#include "exit_status.h"
#include "output_file.h"
#include "table_option.h"
#include "codec/frame_geometry.h"
#include "synth/frame_synth.h"

namespace framedec::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--output", true, "-o"}, kTableOption, kQualityOption, {"--seq"}, {"--height"},
};

constexpr const char* kHelp =
    "usage: framedec synth IMAGE.pgm -o FRAME.bin [--table FILE | --quality N] [--seq N] [--height H]\n"
    "\n"
    "Encodes an 8-bit greyscale PGM as a compressed frame (1246 pixels wide, H lines, H x 320 bytes).\n"
    "A larger image is cropped, a smaller one padded: edge pixels fill the last partial block, and\n"
    "blocks beyond the image are empty (they decode mid-grey).\n"
    "\n"
    "  -o, --output FILE  the frame file to write (written whole or not at all)\n"
    "  --table FILE       quantisation table: 64 integers in natural order, separated by white space\n"
    "  --quality N        the JPEG-style table of quality N (1 to 100); default: the default table\n"
    "  --seq N            the frame's sequence number, 0 to 65535 (default 0)\n"
    "  --height H         frame height in lines, a multiple of 8 up to 1024 (default: the image's, rounded up)\n";

// "cropped to 1246", "padded to 1248" or "fits (1246)".
std::string Fit(uint32_t image, uint32_t frame, const char* unit) {
    const std::string size = std::to_string(frame) + " " + unit;
    if (image > frame) return "cropped to " + size;
    if (image < frame) return "padded to " + size;
    return "fits (" + size + ")";
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
    constexpr std::string_view kPositionals[] = {"IMAGE.pgm (the 8-bit greyscale image to encode)"};
    tools::SynthOptions options;
    uint32_t sequenceNo = 0;
    if (!ParseArguments(args, kOptions, parsed, error) || !CheckPositionals(parsed, kPositionals, error) ||
        !OutputOption(parsed, output, error) || !FrameHeightOption(parsed, false, options.frameHeight, error) ||
        !UnsignedOption(parsed, "--seq", 0, 65535, sequenceNo, error))
        return Fail(kName, kExitUsage, error);
    options.sequenceNo = static_cast<uint16_t>(sequenceNo);

    TableChoice table;
    if (const int status = ChooseTable(parsed, table, error); status != kExitSuccess) return Fail(kName, status, error);
    options.table = table.table;
    const std::string& imagePath = parsed.positionals[0];
    tools::GreyImage image;
    if (!tools::ReadPgm(imagePath, image, error)) return Fail(kName, kExitFailure, error);

    if (options.frameHeight == 0)
        options.frameHeight = (std::min(image.height, kMaxImageHeight) + kBlockSize - 1) / kBlockSize * kBlockSize;
    tools::SynthStats stats;
    const std::vector<uint8_t> frame = tools::SynthesizeFrame(image, options, &stats);
    if (!WriteFileAtomically(output, frame, error)) return Fail(kName, kExitFailure, error);

    std::printf("%s: %u x %u pixels; width %s, height %s\n", imagePath.c_str(), image.width, image.height,
                Fit(image.width, kMaxImageWidth, "pixels").c_str(), Fit(image.height, options.frameHeight, "lines").c_str());
    std::printf("wrote %s: %u lines, %zu bytes, sequence number %u, %s\n", output.c_str(), options.frameHeight,
                frame.size(), sequenceNo, table.description.c_str());
    std::printf("%u blocks: %u empty, %u lost coefficients to fit their slot\n", stats.blocks, stats.emptySlots,
                stats.truncatedBlocks);
    return kExitSuccess;
}

}  // namespace framedec::cli
