// framedec decode: a frame, or a rectangle of it, to an image file in one of the decode modes.
#include <cstdio>

#include "codec/frame_geometry.h"
#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/count_text.h"
#include "commands/exit_status.h"
#include "commands/table_option.h"
#include "decoding/decode_modes.h"
#include "decoding/frame_file.h"
#include "framedec.h"
#include "parallel/strip_partition.h"
#include "platform/output_file.h"

namespace framedec::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--height"}, kTableOption, kQualityOption, {"--rect"}, {"--mode"}, {"--threads"}, {"--raw", false},
    {"--output", true, "-o"},
};

std::string HelpText() {
    std::string text =
        "usage: framedec decode FRAME.bin --height H [--table FILE | --quality N] [--rect X,Y,W,H]\n"
        "                       [--mode " + ModeNames() + "] [--threads N] [--raw] -o OUT\n"
        "\n"
        "Decodes a compressed frame of H lines (H x 320 bytes) with the library.\n"
        "\n"
        "  --height H        the frame's height in lines: a multiple of 8 from 8 to 1024\n"
        "  --table FILE      quantisation table: 64 integers in natural order, separated by white space\n"
        "  --quality N       the JPEG-style table of quality N (1 to 100); default: the default table\n"
        "  --rect X,Y,W,H    decode only this rectangle (X and Y multiples of 8); default: the whole frame\n"
        "  --threads N       mt mode: strips decoded at once, 1 to " + std::to_string(kMaxDecodeThreads) +
        " (default: the processor count, " + std::to_string(DefaultDecodeThreads()) + " here)\n"
        "  --raw             dct mode: write raw little-endian 16-bit coefficients instead of a PGM\n"
        "  -o, --output OUT  the file to write (written whole or not at all)\n"
        "  --mode M          what to decode (default pixels):\n";
    for (const DecodeMode& mode : DecodeModes())
        text.append("      ").append(mode.name).append(std::string(8 - mode.name.size(), ' '))
            .append(mode.summary).append("\n");
    return text;
}

std::string RectText(const Rect& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

bool ParseRect(const std::string& text, Rect& rect) {
    uint64_t v[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = i < 3 ? text.find(',', start) : text.size();
        if (comma == std::string::npos) return false;
        if (!ParseUnsigned(std::string_view(text).substr(start, comma - start), 0, UINT32_MAX, v[i])) return false;
        start = comma + 1;
    }
    rect = {static_cast<uint32_t>(v[0]), static_cast<uint32_t>(v[1]), static_cast<uint32_t>(v[2]),
            static_cast<uint32_t>(v[3])};
    return true;
}

// What the library cannot check for itself: that the rectangle stays inside this frame's lines
// (it would read past a shorter frame), and a width no frame has (we would allocate it). Empty
// when the rectangle may go to the library.
std::string RectProblem(const DecodeMode& mode, const Rect& rect, uint32_t frameHeight) {
    const bool blocks = mode.unit == RectUnit::Blocks;
    const uint64_t end = uint64_t{rect.y} + rect.height;
    const uint32_t limit = blocks ? frameHeight / kBlockSize : frameHeight;
    const char* lines = blocks ? "block rows" : "lines";
    if (end > limit)
        return "rectangle " + RectText(rect) + (blocks ? " (in blocks)" : "") + " ends at " + std::to_string(end) +
               " " + lines + ", past the frame's " + std::to_string(limit);
    const uint32_t widest = blocks ? kGridPositionsPerRow : kGridWidthPixels;
    if (rect.width > widest)
        return "rectangle " + RectText(rect) + " is wider than a frame (" + std::to_string(widest) +
               (blocks ? " blocks)" : " pixels)");
    return {};
}

std::string FailureText(const DecodeMode& mode, const Rect& rect, int32_t result) {
    const std::string code = " (result code " + std::to_string(result) + ")";
    if (result == FRAMEDEC_INVALID_ARGUMENT) return "the library refused the rectangle " + RectText(rect) + code;
    if (result == FRAMEDEC_GPU_UNAVAILABLE) return "no CUDA device is available" + code;
    return "the library's " + std::string(mode.name) + " decode failed" + code;
}

}  // namespace

int RunDecode(const std::vector<std::string>& args) {
    constexpr const char* kName = "decode";
    if (WantsHelp(args)) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitSuccess;
    }
    Arguments parsed;
    std::string error, output;
    constexpr std::string_view kPositionals[] = {"FRAME.bin (the compressed frame file)"};
    uint32_t height = 0;
    if (!ParseArguments(args, kOptions, parsed, error) || !CheckPositionals(parsed, kPositionals, error) ||
        !FrameHeightOption(parsed, true, height, error) || !OutputOption(parsed, output, error))
        return Fail(kName, kExitUsage, error);

    const std::string modeName = parsed.Has("--mode") ? parsed.Value("--mode") : "pixels";
    const DecodeMode* mode = FindDecodeMode(modeName);
    if (mode == nullptr) return Fail(kName, kExitUsage, "unknown --mode '" + modeName + "' (one of " + ModeNames() + ")");
    if (parsed.Has("--raw") && !mode->hasRawOutput)
        return Fail(kName, kExitUsage, "--raw does not apply to --mode " + modeName);
    if (parsed.Has("--threads") && !mode->hasThreads)
        return Fail(kName, kExitUsage, "--threads does not apply to --mode " + modeName);
    if (parsed.Has("--rect") && !mode->takesRect)
        return Fail(kName, kExitUsage, "--rect does not apply to --mode " + modeName + " (it decodes whole frames)");
    if ((parsed.Has("--table") || parsed.Has("--quality")) && !mode->takesTable)
        return Fail(kName, kExitUsage,
                    "--table and --quality do not apply to --mode " + modeName + " (it decodes with its own table)");
    uint32_t threads = DefaultDecodeThreads();
    if (!UnsignedOption(parsed, "--threads", 1, kMaxDecodeThreads, threads, error)) return Fail(kName, kExitUsage, error);
    Rect rect = mode->wholeFrame(height);
    if (parsed.Has("--rect") && !ParseRect(parsed.Value("--rect"), rect))
        return Fail(kName, kExitUsage, "--rect must be X,Y,W,H (four integers), got '" + parsed.Value("--rect") + "'");

    TableChoice table;
    if (const int status = ChooseTable(parsed, table, error); status != kExitSuccess) return Fail(kName, status, error);
    const std::string& framePath = parsed.positionals[0];
    std::vector<std::string> inputs = {framePath};
    if (parsed.Has("--table")) inputs.push_back(parsed.Value("--table"));
    if (const std::string input = InputThatIsTheOutput(output, inputs); !input.empty())
        return Fail(kName, kExitFailure, "'" + output + "' is the input " + input + " itself: choose another output name");
    std::vector<uint8_t> frame;
    if (!ReadFrameFile(framePath, height, frame, error)) return Fail(kName, kExitFailure, error);
    frame.resize(frame.size() + kDcWindowBytesPastFrame, 0);  // what the DC preview may read past the end
    if (const std::string problem = RectProblem(*mode, rect, height); !problem.empty())
        return Fail(kName, kExitFailure, problem);

    DecodedImage image;
    const DecodeSession session;
    const int32_t result = mode->decode({frame.data(), height, table.table.data(), rect, threads}, image);
    if (result != FRAMEDEC_OK) return Fail(kName, kExitFailure, FailureText(*mode, rect, result));
    if (!WriteFileAtomically(output, mode->fileBytes(image, parsed.Has("--raw")), error))
        return Fail(kName, kExitFailure, error);
    const std::string detail = parsed.Has("--raw") ? ", raw int16 little-endian"
                               : mode->hasThreads   ? ", " + CountText(threads, "thread")
                                                    : "";
    std::printf("wrote %s: %s decode of rectangle %s, %u x %u%s\n", output.c_str(), std::string(mode->name).c_str(),
                RectText(rect).c_str(), image.width, image.height, detail.c_str());
    return kExitSuccess;
}

}  // namespace framedec::cli
