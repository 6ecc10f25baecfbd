// framedec scan: which frames of a recording arrived, which were dropped or came again, and
// whether the recording was cut short.
#include <algorithm>
#include <cstdio>

#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/count_text.h"
#include "commands/exit_status.h"
#include "decoding/recording_file.h"
#include "recording/recording.h"

namespace framedec::cli {
namespace {

constexpr OptionSpec kOptions[] = {{"--height"}, {"--json", false}, {"--csv", false}, {"--force", false}};

std::string HelpText() {
    return "usage: framedec scan RECORDING --height H|auto [--json | --csv] [--force]\n"
           "\n"
           "Reads the sequence numbers of a recording (back-to-back frames of H lines, H x 320 bytes each)\n"
           "and reports the whole frames, the first and last sequence numbers, every gap, every frame that\n"
           "is repeated or out of order, every counter reset, and the bytes of a last frame cut short\n"
           "(skipped). Numbers count modulo 65536 (65535 then 0 is no gap) and follow the camera:\n"
           "  - 1 ahead of the newest number is the next frame;\n"
           "  - 2 to 32768 ahead is a gap of the numbers skipped, once one of the next " +
           std::to_string(tools::kSequenceLookAhead) + " frames continues\n"
           "    from it; skipped numbers that come within those frames are no drop (two swapped frames are\n"
           "    two frames out of order); a number no later frame continues from is one stray frame (out of\n"
           "    order or corrupt) that moves nothing, and strays in the places of missing numbers are those\n"
           "    frames; a jump in the last frame counts as a gap;\n"
           "  - equal to or behind the newest is a repeated or out-of-order frame that moves nothing, unless\n"
           "    the next " + std::to_string(tools::kResetConfirmations) +
           " frames count on from it: a counter reset, after which drops count again.\n"
           "\n"
           "  --height H  the frames' height in lines: a multiple of 8 from 8 to 1024, or auto for the one\n"
           "              height at which the sequence numbers run. A height at which fewer than half the\n"
           "              steps between frames are +1 is refused (naming the height at which they run)\n"
           "  --force     read at the given height even so (a camera whose numbers do not count)\n"
           "  --json      one JSON object: height, frames, sequence_numbers, dropped ([{index, count}]),\n"
           "              repeated (frame indices), resets (the first frame of each new run) and\n"
           "              trailing_bytes\n"
           "  --csv       one line per frame: index,sequence_number,gap_before,repeated,reset (streamed)\n";
}

// Gaps and repeats listed in the summary before it says how many more there are.
constexpr std::size_t kListedInSummary = 10;
// Sequence numbers read at a time, so that recordings of any length scan in bounded memory.
constexpr uint64_t kNumbersPerRead = uint64_t{1} << 16;

// Reads every whole frame's sequence number in order into the tracker, which hands each frame on
// to its visitor once the frames after it are read; finishes the tracker at the end.
bool FollowNumbers(tools::RecordingReader& reader, tools::SequenceTracker& tracker, std::string& error) {
    std::vector<uint16_t> numbers;
    const uint64_t frames = reader.layout().frames;
    for (uint64_t first = 0; first < frames; first += kNumbersPerRead) {
        const uint64_t count = std::min(kNumbersPerRead, frames - first);
        if (!reader.ReadSequenceNumbers(first, count, numbers, error)) return false;
        for (uint64_t i = 0; i < count; ++i) tracker.Add(numbers[i]);
    }
    tracker.Finish();
    return true;
}

template <class Item, class Print>
void PrintList(const char* name, const std::vector<Item>& items, Print print) {
    std::printf("], \"%s\": [", name);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) std::printf(", ");
        print(items[i]);
    }
}

void PrintJsonEnd(const tools::RecordingLayout& layout, const tools::SequenceTracker& tracker) {
    PrintList("dropped", tracker.dropped(), [](const tools::DroppedRun& run) {
        std::printf("{\"index\": %llu, \"count\": %u}", static_cast<unsigned long long>(run.index), run.count);
    });
    const auto index = [](uint64_t i) { std::printf("%llu", static_cast<unsigned long long>(i)); };
    PrintList("repeated", tracker.repeated(), index);
    PrintList("resets", tracker.resets(), index);
    std::printf("], \"trailing_bytes\": %llu}\n", static_cast<unsigned long long>(layout.trailingBytes));
}

void PrintSummary(const std::string& path, bool heightFound, const tools::RecordingReader& reader, uint16_t first,
                  uint16_t last, const tools::SequenceTracker& tracker) {
    const tools::RecordingLayout& layout = reader.layout();
    std::printf("%s: %s of %u lines (%llu bytes each%s)\n", path.c_str(), CountText(layout.frames, "frame").c_str(),
                reader.height(), static_cast<unsigned long long>(layout.frameBytes),
                heightFound ? "; the height at which the sequence numbers run" : "");
    if (layout.trailingBytes > 0)
        std::printf("cut short: %llu trailing bytes of a last frame, skipped\n",
                    static_cast<unsigned long long>(layout.trailingBytes));
    std::printf("sequence numbers: %u to %u\n", first, last);

    const auto& dropped = tracker.dropped();
    std::printf("dropped: %s in %s", CountText(tracker.droppedFrames(), "frame").c_str(),
                CountText(dropped.size(), "gap").c_str());
    for (std::size_t i = 0; i < std::min(dropped.size(), kListedInSummary); ++i)
        std::printf("%s %u before frame %llu", i == 0 ? ":" : ",", dropped[i].count,
                    static_cast<unsigned long long>(dropped[i].index));
    if (dropped.size() > kListedInSummary) std::printf(", ... (%zu more)", dropped.size() - kListedInSummary);

    const auto& repeated = tracker.repeated();
    std::printf("\nrepeated or out of order: %s", CountText(repeated.size(), "frame").c_str());
    for (std::size_t i = 0; i < std::min(repeated.size(), kListedInSummary); ++i) {
        std::printf("%s frame %llu", i == 0 ? ":" : ",", static_cast<unsigned long long>(repeated[i]));
        const tools::RepeatedNumber& number = tracker.repeatedNumbers()[i];
        const uint16_t step = static_cast<uint16_t>(number.sequenceNo - number.newest);
        if (step == 0)
            std::printf(" (%u again)", number.sequenceNo);
        else
            std::printf(" (%u, %s %u)", number.sequenceNo, step <= 32768 ? "ahead of" : "behind", number.newest);
    }
    if (repeated.size() > kListedInSummary) std::printf(", ... (%zu more)", repeated.size() - kListedInSummary);

    const auto& resets = tracker.resets();
    std::printf("\ncounter resets: %zu", resets.size());
    for (std::size_t i = 0; i < std::min(resets.size(), kListedInSummary); ++i)
        std::printf("%s at frame %llu", i == 0 ? ":" : ",", static_cast<unsigned long long>(resets[i]));
    if (resets.size() > kListedInSummary) std::printf(", ... (%zu more)", resets.size() - kListedInSummary);
    std::printf("\n");
}

}  // namespace

int RunScan(const std::vector<std::string>& args) {
    constexpr const char* kName = "scan";
    if (WantsHelp(args)) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitSuccess;
    }
    Arguments parsed;
    std::string error;
    constexpr std::string_view kPositionals[] = {"RECORDING (the file of frames)"};
    uint32_t height = 0;
    if (!ParseArguments(args, kOptions, parsed, error) || !CheckPositionals(parsed, kPositionals, error) ||
        !RecordingHeightOption(parsed, height, error))
        return Fail(kName, kExitUsage, error);
    if (parsed.Has("--json") && parsed.Has("--csv")) return Fail(kName, kExitUsage, "--json and --csv both given");

    const std::string& path = parsed.positionals[0];
    tools::RecordingReader reader;
    if (!OpenRecording(path, height, parsed.Has("--force"), reader, error)) return Fail(kName, kExitFailure, error);
    const tools::RecordingLayout& layout = reader.layout();

    if (parsed.Has("--csv")) {
        std::printf("index,sequence_number,gap_before,repeated,reset\n");
        tools::SequenceTracker tracker([](uint64_t index, uint16_t number, const tools::SequenceStep& step) {
            std::printf("%llu,%u,%u,%d,%d\n", static_cast<unsigned long long>(index), number, step.droppedBefore,
                        step.repeated ? 1 : 0, step.reset ? 1 : 0);
        });
        return FollowNumbers(reader, tracker, error) ? kExitSuccess : Fail(kName, kExitFailure, error);
    }
    if (parsed.Has("--json")) {
        std::printf("{\"height\": %u, \"frames\": %llu, \"sequence_numbers\": [", reader.height(),
                    static_cast<unsigned long long>(layout.frames));
        tools::SequenceTracker tracker([](uint64_t index, uint16_t n, const tools::SequenceStep&) {
            std::printf(index == 0 ? "%u" : ", %u", n);
        });
        if (!FollowNumbers(reader, tracker, error)) return Fail(kName, kExitFailure, error);
        PrintJsonEnd(layout, tracker);
        return kExitSuccess;
    }
    uint16_t first = 0, last = 0;
    tools::SequenceTracker tracker([&](uint64_t index, uint16_t n, const tools::SequenceStep&) {
        if (index == 0) first = n;
        last = n;
    });
    if (!FollowNumbers(reader, tracker, error)) return Fail(kName, kExitFailure, error);
    PrintSummary(path, height == 0, reader, first, last, tracker);
    return kExitSuccess;
}

}  // namespace framedec::cli
