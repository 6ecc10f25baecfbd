// framedec info: checks a frame file's size and summarises its sequence number and slots.
#include <cstdio>

#include "codec/frame_geometry.h"
#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/exit_status.h"
#include "decoding/frame_file.h"
#include "framedec.h"
#include "synth/slot_usage.h"

namespace framedec::cli {
namespace {

constexpr OptionSpec kOptions[] = {{"--height"}};

constexpr const char* kHelp =
    "usage: framedec info FRAME.bin --height H\n"
    "\n"
    "Checks that the frame file holds H x 320 bytes, and prints its sequence number and how its\n"
    "block slots are used: how many are empty (64 zero coefficients), how many take all 128 bits,\n"
    "and how many hold codes that run past the slot's end (cut off).\n"
    "\n"
    "  --height H  the frame's height in lines: a multiple of 8 from 8 to 1024\n";

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
    constexpr const char* kName = "info";
    if (WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return kExitSuccess;
    }
    Arguments parsed;
    std::string error;
    constexpr std::string_view kPositionals[] = {"FRAME.bin (the compressed frame file)"};
    uint32_t height = 0;
    if (!ParseArguments(args, kOptions, parsed, error) || !CheckPositionals(parsed, kPositionals, error) ||
        !FrameHeightOption(parsed, true, height, error))
        return Fail(kName, kExitUsage, error);

    const std::string& path = parsed.positionals[0];
    std::vector<uint8_t> frame;
    if (!ReadFrameFile(path, height, frame, error)) return Fail(kName, kExitFailure, error);
    uint16_t sequenceNo = 0;
    if (const int32_t result = ExtractSequenceNo(frame.data(), 0, height, &sequenceNo); result != FRAMEDEC_OK)
        return Fail(kName, kExitFailure, "the library could not read the sequence number (result code " +
                                             std::to_string(result) + ")");
    const tools::SlotUsage usage = tools::SummariseSlots(frame.data(), height);

    std::printf("%s: %zu bytes = %u lines x %u bytes: size matches\n", path.c_str(), frame.size(), height,
                kFrameBytesPerLine);
    std::printf("sequence number: %u\n", sequenceNo);
    std::printf("slots: %u (%u block rows x %u)\n", usage.slots, height / kBlockSize, kSlotsPerRow);
    std::printf("empty: %u\n", usage.empty);
    std::printf("using all %u bits: %u\n", kSlotBits, usage.full);
    std::printf("cut off (codes past bit %u): %u\n", kSlotBits - 1, usage.cutOff);
    std::printf("mean bits used per slot: %.1f\n", static_cast<double>(usage.bitsUsed) / usage.slots);
    return kExitSuccess;
}

}  // namespace framedec::cli
