// framedec scan: which frames of a recording arrived, which were dropped or came again, and
// whether the recording was cut short.
#include <algorithm>
#include <cstdio>

#include "arguments.h"
#include "commands.h"
#include "exit_status.h"
#include "recording_file.h"
#include "recording/recording.h"

namespace framedec::cli {
namespace {

constexpr OptionSpec kOptions[] = {{"--height"}, {"--json", false}};

constexpr const char* kHelp =
    "usage: framedec scan RECORDING --height H [--json]\n"
    "\n"
    "Reads the sequence numbers of a recording (back-to-back frames of H lines, H x 320 bytes each)\n"
    "and reports the whole frames, the first and last sequence numbers, every gap (counted modulo\n"
    "65536: 65535 then 0 is no gap), every number that repeats or goes back, and the bytes of a last\n"
    "frame cut short (skipped).\n"
    "\n"
    "  --height H  the frames' height in lines: a multiple of 8 from 8 to 1024\n"
    "  --json      one JSON object: frames, sequence_numbers, dropped ([{index, count}]), repeated\n"
    "              (frame indices) and trailing_bytes\n";

// Gaps and repeats listed in the summary before it says how many more there are.
constexpr std::size_t kListedInSummary = 10;

void PrintJson(const tools::RecordingLayout& layout, const std::vector<uint16_t>& numbers,
               const tools::SequenceTracker& tracker) {
    std::printf("{\"frames\": %llu, \"sequence_numbers\": [", static_cast<unsigned long long>(layout.frames));
    for (std::size_t i = 0; i < numbers.size(); ++i) std::printf(i == 0 ? "%u" : ", %u", numbers[i]);
    std::printf("], \"dropped\": [");
    for (std::size_t i = 0; i < tracker.dropped().size(); ++i)
        std::printf("%s{\"index\": %llu, \"count\": %u}", i == 0 ? "" : ", ",
                    static_cast<unsigned long long>(tracker.dropped()[i].index), tracker.dropped()[i].count);
    std::printf("], \"repeated\": [");
    for (std::size_t i = 0; i < tracker.repeated().size(); ++i)
        std::printf(i == 0 ? "%llu" : ", %llu", static_cast<unsigned long long>(tracker.repeated()[i]));
    std::printf("], \"trailing_bytes\": %llu}\n", static_cast<unsigned long long>(layout.trailingBytes));
}

void PrintSummary(const std::string& path, uint32_t height, const tools::RecordingLayout& layout,
                  const std::vector<uint16_t>& numbers, const tools::SequenceTracker& tracker) {
    std::printf("%s: %llu frames of %u lines (%llu bytes each)\n", path.c_str(),
                static_cast<unsigned long long>(layout.frames), height,
                static_cast<unsigned long long>(layout.frameBytes));
    if (layout.trailingBytes > 0)
        std::printf("cut short: %llu trailing bytes of a last frame, skipped\n",
                    static_cast<unsigned long long>(layout.trailingBytes));
    if (numbers.empty()) return;
    std::printf("sequence numbers: %u to %u\n", numbers.front(), numbers.back());

    const auto& dropped = tracker.dropped();
    std::printf("dropped: %llu frames in %zu gaps", static_cast<unsigned long long>(tracker.droppedFrames()),
                dropped.size());
    for (std::size_t i = 0; i < std::min(dropped.size(), kListedInSummary); ++i)
        std::printf("%s %u before frame %llu", i == 0 ? ":" : ",", dropped[i].count,
                    static_cast<unsigned long long>(dropped[i].index));
    if (dropped.size() > kListedInSummary) std::printf(", ... (%zu more)", dropped.size() - kListedInSummary);

    const auto& repeated = tracker.repeated();
    std::printf("\nrepeated or backwards: %zu frames", repeated.size());
    for (std::size_t i = 0; i < std::min(repeated.size(), kListedInSummary); ++i)
        std::printf("%s frame %llu (%u after %u)", i == 0 ? ":" : ",", static_cast<unsigned long long>(repeated[i]),
                    numbers[repeated[i]], numbers[repeated[i] - 1]);
    if (repeated.size() > kListedInSummary) std::printf(", ... (%zu more)", repeated.size() - kListedInSummary);
    std::printf("\n");
}

}  // namespace

int RunScan(const std::vector<std::string>& args) {
    constexpr const char* kName = "scan";
    if (WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return kExitSuccess;
    }
    Arguments parsed;
    std::string error;
    constexpr std::string_view kPositionals[] = {"RECORDING (the file of frames)"};
    uint32_t height = 0;
    if (!ParseArguments(args, kOptions, parsed, error) || !CheckPositionals(parsed, kPositionals, error) ||
        !FrameHeightOption(parsed, true, height, error))
        return Fail(kName, kExitUsage, error);

    const std::string& path = parsed.positionals[0];
    tools::RecordingReader reader;
    if (!OpenRecording(path, height, reader, error)) return Fail(kName, kExitFailure, error);
    const tools::RecordingLayout& layout = reader.layout();
    std::vector<uint16_t> numbers;
    if (!reader.ReadSequenceNumbers(0, layout.frames, numbers, error)) return Fail(kName, kExitFailure, error);
    tools::SequenceTracker tracker;
    for (uint16_t number : numbers) tracker.Add(number);

    if (parsed.Has("--json"))
        PrintJson(layout, numbers, tracker);
    else
        PrintSummary(path, height, layout, numbers, tracker);
    return kExitSuccess;
}

}  // namespace framedec::cli
