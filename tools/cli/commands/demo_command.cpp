// framedec demo: synthesises a frame from a test image, decodes it in every mode the tool knows,
// writes each result into a folder and prints a table of time per frame and PSNR.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "codec/frame_geometry.h"
#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/count_text.h"
#include "commands/demo_image.h"
#include "commands/exit_status.h"
#include "decoding/decode_modes.h"
#include "framedec.h"
#include "platform/output_file.h"
#include "synth/file_path.h"
#include "synth/frame_synth.h"
#include "synth/reference_images.h"

namespace framedec::cli {
namespace {

constexpr OptionSpec kOptions[] = {{"--image"}, {"--output", true, "-o"}, {"--runs"}};
constexpr const char* kDefaultFolder = "framedec-demo";
constexpr uint32_t kDefaultRuns = 7;

constexpr const char* kHelp =
    "usage: framedec demo [--image FILE.pgm] [-o DIR] [--runs N]\n"
    "\n"
    "Synthesises a compressed frame from a test image (default: the project's astronaut.pgm),\n"
    "decodes it in every mode, writes the frame and the decoded images into a folder, and prints\n"
    "each mode's time per frame (the median of N runs) and its PSNR against the source image.\n"
    "\n"
    "  --image FILE.pgm  the 8-bit greyscale image to use\n"
    "  -o, --output DIR  the folder to write into (default: ./framedec-demo)\n"
    "  --runs N          decodes per mode to take the median of, 1 to 1000 (default 7)\n";

struct DemoRow {
    const DecodeMode* mode;
    double milliseconds;
    double psnr;
};

// Median time of runs calls of decode, in milliseconds; the last call's result code in result.
template <typename Decode>
double MedianMilliseconds(uint32_t runs, Decode decode, int32_t& result) {
    std::vector<double> times;
    for (uint32_t i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        result = decode();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (result != FRAMEDEC_OK) break;
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool FindDemoImage(std::string& path, std::string& error) {
    error = "cannot find the demo image " + std::string(kDemoImageName) + " (looked for";
    for (const auto& candidate : DemoImageCandidates()) {
        std::error_code ignored;
        if (std::filesystem::is_regular_file(candidate, ignored)) {
            path = tools::Utf8FromPath(candidate);
            return true;
        }
        error += " '" + tools::Utf8FromPath(candidate) + "'";
    }
    error += "); give one with --image FILE.pgm";
    return false;
}

void PrintTable(const std::vector<DemoRow>& rows, uint32_t runs) {
    std::printf("\n%-8s %-12s %16s %10s   %s\n", "mode", "output", "time per frame", "PSNR", "compared with");
    for (const DemoRow& row : rows) {
        std::printf("%-8s %-12s %13.3f ms %7.2f dB   %s\n", std::string(row.mode->name).c_str(),
                    std::string(row.mode->demoFile).c_str(), row.milliseconds, row.psnr,
                    std::string(row.mode->psnrAgainst).c_str());
    }
    std::printf("(time: median of %s of a whole-frame decode; mt: %s at once)\n", CountText(runs, "run").c_str(),
                CountText(DefaultDecodeThreads(), "strip").c_str());
}

}  // namespace

int RunDemo(const std::vector<std::string>& args) {
    constexpr const char* kName = "demo";
    if (WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return kExitSuccess;
    }
    Arguments parsed;
    std::string error;
    uint32_t runs = kDefaultRuns;
    if (!ParseArguments(args, kOptions, parsed, error) || !CheckPositionals(parsed, {}, error) ||
        !UnsignedOption(parsed, "--runs", 1, 1000, runs, error))
        return Fail(kName, kExitUsage, error);

    std::string imagePath;
    if (parsed.Has("--image"))
        imagePath = parsed.Value("--image");
    else if (!FindDemoImage(imagePath, error))
        return Fail(kName, kExitFailure, error);
    tools::GreyImage image;
    if (!tools::ReadPgm(imagePath, image, error)) return Fail(kName, kExitFailure, error);

    tools::SynthOptions options;
    options.frameHeight = (std::min(image.height, kMaxImageHeight) + kBlockSize - 1) / kBlockSize * kBlockSize;
    options.sequenceNo = 1;
    tools::SynthStats stats;
    const std::vector<uint8_t> frame = tools::SynthesizeFrame(image, options, &stats);
    // The part of the image the frame holds: what every decode is compared with.
    const tools::GreyImage source = tools::CropImage(image, kMaxImageWidth, options.frameHeight);

    const std::filesystem::path folder = std::filesystem::absolute(
        tools::PathFromUtf8(parsed.Has("--output") ? parsed.Value("--output") : kDefaultFolder));
    std::error_code created;
    std::filesystem::create_directories(folder, created);
    if (created) return Fail(kName, kExitFailure, "cannot create folder '" + tools::Utf8FromPath(folder) + "': " + created.message());
    if (!WriteFileAtomically(tools::Utf8FromPath(folder / "frame.bin"), frame, error)) return Fail(kName, kExitFailure, error);

    std::vector<DemoRow> rows;
    std::vector<std::string> skipped;  // modes this machine cannot run
    const DecodeSession session;
    for (const DecodeMode& mode : DecodeModes()) {
        const DecodeInput input{frame.data(), options.frameHeight, options.table.data(),
                                mode.wholeFrame(options.frameHeight), DefaultDecodeThreads()};
        DecodedImage decoded;
        int32_t result = FRAMEDEC_OK;
        const double milliseconds = MedianMilliseconds(runs, [&] { return mode.decode(input, decoded); }, result);
        if (result == FRAMEDEC_GPU_UNAVAILABLE) {
            skipped.push_back(std::string(mode.name) + ": skipped, no CUDA device is available (result code " +
                              std::to_string(result) + ")");
            continue;
        }
        if (result != FRAMEDEC_OK)
            return Fail(kName, kExitFailure, "the " + std::string(mode.name) + " decode failed (result code " +
                                                  std::to_string(result) + ")");
        if (!WriteFileAtomically(tools::Utf8FromPath(folder / mode.demoFile), mode.fileBytes(decoded, false), error))
            return Fail(kName, kExitFailure, error);
        rows.push_back({&mode, milliseconds, mode.psnr(source, decoded)});
    }

    std::printf("source: %s (%u x %u pixels)\n", imagePath.c_str(), image.width, image.height);
    std::printf("frame: %u lines, %zu bytes, the default table; %u blocks, %u lost coefficients to fit their slot\n",
                options.frameHeight, frame.size(), stats.blocks, stats.truncatedBlocks);
    std::printf("written to %s: frame.bin", tools::Utf8FromPath(folder).c_str());
    for (const DemoRow& row : rows) std::printf(", %s", std::string(row.mode->demoFile).c_str());
    std::printf("\n");
    PrintTable(rows, runs);
    for (const std::string& line : skipped) std::printf("%s\n", line.c_str());
    if (std::string_view(FRAMEDEC_GPU_BACKEND_NAME) == "host")
        std::printf("(gpu: this build's host GPU backend runs the GPU kernels on the CPU, one GPU thread after another)\n");
    return kExitSuccess;
}

}  // namespace framedec::cli
