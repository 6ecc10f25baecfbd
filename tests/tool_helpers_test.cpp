// The helpers behind `framedec info`, table files and recordings.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "recording/recording.h"
#include "synth/frame_synth.h"
#include "synth/quant_table_file.h"
#include "synth/slot_usage.h"

namespace framedec::tools {
namespace {

using Slot = std::array<uint8_t, 16>;

TEST(SlotUsage, MarkerAndEndOfKnownSlots) {
    EXPECT_EQ(MeasureSlot(Slot{}.data()).Bits(), 0u);  // empty

    // DC 5 and -3 at zigzag position 1: marker at bit 0, codes in bits 1 to 12.
    const Slot bottom = {0xAF, 0x03};
    EXPECT_EQ(MeasureSlot(bottom.data()).markerBit, 0u);
    EXPECT_EQ(MeasureSlot(bottom.data()).end, 13u);
    // The same stream at the top of the slot.
    const Slot top = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x78, 0x1D};
    EXPECT_EQ(MeasureSlot(top.data()).markerBit, 115u);
    EXPECT_EQ(MeasureSlot(top.data()).end, 128u);
    EXPECT_EQ(MeasureSlot(top.data()).Bits(), 13u);

    Slot onlyMarker{};
    onlyMarker[15] = 0x80;
    EXPECT_EQ(MeasureSlot(onlyMarker.data()).Bits(), 1u);

    // Marker at bit 120, then seven one-bits: a size code that runs off the slot's end.
    Slot cutOff{};
    cutOff[15] = 0xFF;
    EXPECT_GT(MeasureSlot(cutOff.data()).end, 128u);
}

TEST(SlotUsage, AgreesWithTheEncoderOnRandomBlocks) {
    std::mt19937_64 random(3);
    uint32_t fullSeen = 0;
    for (int i = 0; i < 2000; ++i) {
        std::array<int16_t, 64> levels{};
        for (auto& l : levels) l = static_cast<int16_t>(static_cast<int>(random() % 61) - 30) * (random() % 3 == 0);
        FitToSlot(levels);
        const uint32_t bits = StreamBits(levels);
        Slot slot;
        EncodeSlot(levels, bits == 0 ? std::nullopt : std::optional<uint32_t>(random() % (128 - bits)), slot.data());
        EXPECT_EQ(MeasureSlot(slot.data()).Bits(), bits == 0 ? 0 : bits + 1);
        fullSeen += bits == 127;
    }
    EXPECT_GT(fullSeen, 0u);
}

TEST(SlotUsage, SummaryOfAFrame) {
    GreyImage flat{16, 8, std::vector<uint8_t>(16 * 8, 128)};
    const auto frame = SynthesizeFrame(flat, {});
    const SlotUsage usage = SummariseSlots(frame.data(), 8);
    EXPECT_EQ(usage.slots, 156u);
    EXPECT_EQ(usage.empty, 156u);  // lead-ins and tails hold random bytes, but no slot does
    EXPECT_EQ(usage.full, 0u);
}

TEST(TableFile, SixtyFourIntegersInNaturalOrder) {
    std::string text = " 0\n";
    for (int i = 1; i < 63; ++i) text += std::to_string(i * 1000) + (i % 8 == 7 ? "\r\n" : "\t");
    text += "65535\n";
    QuantTable table{};
    std::string error;
    ASSERT_TRUE(ParseTableText(text, table, error)) << error;
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[9], 9000);
    EXPECT_EQ(table[63], 65535);
}

TEST(TableFile, RefusesWrongCountsAndValuesWithoutTouchingTheTable) {
    const std::string sixtyThree = [] {
        std::string t;
        for (int i = 0; i < 63; ++i) t += "7 ";
        return t;
    }();
    const QuantTable before = DefaultTable();
    for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
             {"", "holds 0 integers, expected 64"},
             {sixtyThree, "holds 63 integers, expected 64"},
             {sixtyThree + "7 7", "holds more than 64 integers (entry 65 is '7')"},
             {sixtyThree + "65536", "entry 64 is '65536', not an integer from 0 to 65535"},
             {"-1 " + sixtyThree, "entry 1 is '-1'"},
             {"1e3 " + sixtyThree, "entry 1 is '1e3'"},
             {"8,8 " + sixtyThree, "entry 1 is '8,8'"}}) {
        QuantTable table = before;
        std::string error;
        EXPECT_FALSE(ParseTableText(text, table, error));
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_EQ(table, before);
    }
}

TEST(Recording, LayoutSplitsWholeFramesFromATrailingPart) {
    const RecordingLayout layout = LayoutOfRecording(3 * 2560 + 100, 8);
    EXPECT_EQ(layout.frameBytes, 2560u);
    EXPECT_EQ(layout.frames, 3u);
    EXPECT_EQ(layout.trailingBytes, 100u);
    EXPECT_EQ(LayoutOfRecording(uint64_t{40} << 30, 1024).frames, (uint64_t{40} << 30) / 327680);
}

// first, first + 1, ... for count numbers (modulo 65536), with the given numbers put in.
std::vector<uint16_t> Counting(uint16_t first, std::size_t count, std::vector<std::pair<std::size_t, uint16_t>> put = {}) {
    std::vector<uint16_t> numbers(count);
    for (std::size_t i = 0; i < count; ++i) numbers[i] = static_cast<uint16_t>(first + i);
    for (const auto& [index, number] : put) numbers[index] = number;
    return numbers;
}

std::vector<uint16_t> Joined(std::vector<uint16_t> a, const std::vector<uint16_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Recording, SequenceNumbersFollowTheCamera) {
    struct Case {
        std::string what;
        std::vector<uint16_t> numbers;
        std::vector<std::pair<uint64_t, uint32_t>> dropped;
        std::vector<uint64_t> repeated;
        std::vector<uint64_t> resets = {};
    };
    const Case cases[] = {
        {"counting", {7, 8, 9}, {}, {}},
        {"the wrap is no gap", {65534, 65535, 0, 1}, {}, {}},
        {"0 and 1 missing across the wrap", {65535, 2}, {{1, 2}}, {}},
        {"gaps confirmed by the next frames", {1, 2, 5, 6, 10}, {{2, 2}, {4, 3}}, {}},
        {"the same number again", {4, 4, 5}, {}, {1}},
        {"behind, then equal to the newest", {10, 9, 10, 11}, {}, {1, 2}},
        {"the largest step read as a drop", {0, 32768}, {{1, 32767}}, {}},
        {"one more reads as a step back", {0, 32769}, {}, {1}},
        {"a stale copy of 4 after 8 moves nothing", {0, 1, 2, 3, 4, 5, 6, 7, 8, 4, 9, 11}, {{11, 1}}, {9}},
        {"a stale number from before the wrap", {65534, 65535, 3, 65535, 4}, {{2, 3}}, {3}},
        {"an outlier ahead is one stray frame in its place", Counting(100, 100, {{50, 30000}}), {}, {50}},
        {"an outlier behind likewise", Counting(100, 100, {{50, 7}}), {}, {50}},
        {"an outlier beside a real drop", Joined(Counting(100, 50), Joined({30000}, Counting(152, 10))), {{51, 2}},
         {50}},
        {"a counter reset with 5 real drops after it", Joined(Counting(5000, 50), Joined(Counting(0, 20), Counting(25, 30))),
         {{70, 5}}, {}, {50}},
        {"swapped neighbours", {10, 11, 12, 14, 13, 15, 16}, {}, {3, 4}},
        {"a late number is no drop, the rest of the gap is", {10, 11, 12, 15, 13, 16, 17}, {{3, 1}}, {3, 4}},
        {"a late number fills no later gap", {10, 11, 12, 14, 13, 16, 17}, {{5, 1}}, {3, 4}},
        {"a jump in the last frame counts", {10, 11, 12, 40}, {{3, 27}}, {}},
        {"a jump contradicted by the last frame does not", {10, 11, 12, 40, 13}, {}, {3}},
        {"a jump back in the last frames is no reset", {10, 11, 12, 13, 2, 3}, {}, {4, 5}},
    };
    for (const Case& c : cases) {
        std::vector<uint64_t> visited;
        SequenceTracker tracker([&](uint64_t index, uint16_t, const SequenceStep&) { visited.push_back(index); });
        for (uint16_t number : c.numbers) tracker.Add(number);
        tracker.Finish();
        std::vector<std::pair<uint64_t, uint32_t>> dropped;
        for (const DroppedRun& run : tracker.dropped()) dropped.emplace_back(run.index, run.count);
        EXPECT_EQ(dropped, c.dropped) << c.what;
        EXPECT_EQ(tracker.repeated(), c.repeated) << c.what;
        EXPECT_EQ(tracker.resets(), c.resets) << c.what;
        EXPECT_EQ(tracker.frames(), c.numbers.size()) << c.what;
        EXPECT_EQ(visited.size(), c.numbers.size()) << c.what;
        EXPECT_TRUE(std::is_sorted(visited.begin(), visited.end())) << c.what;
    }
}

// The blank pages of --fill-dropped are labelled with these: never a number that is in the file.
TEST(Recording, MissingNumbersLeaveOutThoseThatCameLate) {
    const SequenceTracker tracker = TrackSequence(std::vector<uint16_t>{65533, 3, 65535, 1, 4, 5});
    ASSERT_EQ(tracker.dropped().size(), 1u);
    EXPECT_EQ(tracker.dropped()[0].MissingNumbers(), (std::vector<uint16_t>{65534, 0, 2}));
}

TEST(Recording, CheckedStepsAreAllOrSpreadOverTheRecording) {
    EXPECT_TRUE(CheckedSteps(1).empty());
    EXPECT_EQ(CheckedSteps(4), (std::vector<uint64_t>{0, 1, 2}));
    EXPECT_EQ(CheckedSteps(kCheckedSteps + 1).size(), kCheckedSteps);
    for (const uint64_t frames : {uint64_t{kCheckedSteps + 2}, uint64_t{123457}, uint64_t{1} << 50}) {
        const std::vector<uint64_t> firsts = CheckedSteps(frames);
        ASSERT_EQ(firsts.size(), kCheckedSteps);
        EXPECT_EQ(firsts.front(), 0u);
        EXPECT_EQ(firsts.back(), frames - 2) << frames;  // the last step ends on the last frame
        EXPECT_TRUE(std::is_sorted(firsts.begin(), firsts.end()));
        EXPECT_EQ(std::adjacent_find(firsts.begin(), firsts.end()), firsts.end());
    }
}

// Frames of zeros but for their sequence numbers: at a wrong height the numbers read are zeros
// or a farther frame's.
std::string RecordingBytes(uint32_t height, const std::vector<uint16_t>& numbers) {
    const std::size_t frameBytes = std::size_t{height} * 320;
    std::string bytes(numbers.size() * frameBytes, '\0');
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        bytes[(i + 1) * frameBytes - 14] = static_cast<char>(numbers[i] & 0xFF);
        bytes[(i + 1) * frameBytes - 13] = static_cast<char>(numbers[i] >> 8);
    }
    return bytes;
}

TEST(Recording, OpenChecksTheFileAndTheHeight) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("framedec-recording-" +
        std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder / "a-folder");
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return (folder / name).string();
    };
    const std::string counting = write("counting.bin", RecordingBytes(1024, {7, 8, 9, 10, 12, 13, 14, 15}));
    const std::string constant = write("constant.bin", RecordingBytes(64, std::vector<uint16_t>(9, 7)));
    const std::string twoFrames = write("two.bin", RecordingBytes(64, {5, 900}));
    const std::string empty = write("empty.bin", "");
    const std::string short_ = write("short.bin", std::string(1000, '\0'));
    const OptionNames python{"height", "=", "check=False"};
    struct Case {
        std::string path;
        OpenOptions options;
        RecordingProblem problem;
        std::string message;  // part of the error; for a success, the height and frames opened
    };
    const Case cases[] = {
        {counting, {1024}, RecordingProblem::None, "1024 8"},
        {counting, {0}, RecordingProblem::None, "1024 8"},
        {counting, {512}, RecordingProblem::HeightWrong,
         "the sequence numbers do not run at --height 512 (0 of 15 steps between frames are +1); at --height 1024 "
         "they do (--force reads it as asked)"},
        {counting, {1016}, RecordingProblem::HeightWrong, "at --height 1024 they do"},
        {counting, {512, true, python}, RecordingProblem::HeightWrong, "run at height=512 (0 of 15 steps"},
        {counting, {512, false}, RecordingProblem::None, "512 16"},
        {constant, {64}, RecordingProblem::HeightWrong, "(0 of 8 steps between frames are +1); they run at no height"},
        {constant, {0}, RecordingProblem::HeightUnknown,
         "is too short to tell its frame height: its sequence numbers run at no height that gives three frames or "
         "more, and it may be one frame of 576 lines; give --height (and --force if the camera's numbers do not "
         "count)"},
        {constant, {64, false}, RecordingProblem::None, "64 9"},
        {twoFrames, {64}, RecordingProblem::None, "64 2"},  // two frames tell nothing
        {empty, {64}, RecordingProblem::NoWholeFrame, "recording '" + empty + "' is empty: it holds no frame"},
        {empty, {0}, RecordingProblem::NoWholeFrame, "is empty"},
        {short_, {0}, RecordingProblem::NoWholeFrame, "is 1000 bytes, less than one frame of any height"},
        {short_, {64, false}, RecordingProblem::NoWholeFrame, "is 1000 bytes, less than one frame of 64 lines"},
        {twoFrames, {1024}, RecordingProblem::NoWholeFrame, "less than one frame of 1024 lines (327680 bytes)"},
        {"-", {64}, RecordingProblem::NotAFile, "would be standard input: a recording must be a file"},
        {(folder / "a-folder").string(), {64}, RecordingProblem::NotAFile, "is a folder: a recording must be a file"},
        {(folder / "missing.bin").string(), {64}, RecordingProblem::CannotRead, "cannot read recording"},
    };
    for (const Case& c : cases) {
        RecordingReader reader;
        std::string error;
        EXPECT_EQ(reader.Open(c.path, c.options, error), c.problem) << c.path << " " << error;
        if (c.problem == RecordingProblem::None)
            EXPECT_EQ(std::to_string(reader.height()) + " " + std::to_string(reader.layout().frames), c.message);
        else
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace framedec::tools
