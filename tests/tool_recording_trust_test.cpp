// Recordings the tool must not misread or harm: counting that one stray number cannot derail, blank
// pages only for confirmed gaps and within a limit, an input that no output overwrites, and
// temporary files of killed runs cleared away.
#include <chrono>
#include <filesystem>

#include "codec/frame_geometry.h"
#include "process_support.h"
#include "tool_runner.h"

namespace framedec::testing {
namespace {

constexpr uint32_t kHeight = 48;  // SmoothImage's height

std::vector<uint16_t> Counting(uint16_t first, std::size_t count) {
    std::vector<uint16_t> numbers(count);
    for (std::size_t i = 0; i < count; ++i) numbers[i] = static_cast<uint16_t>(first + i);
    return numbers;
}

std::vector<uint16_t> Joined(std::vector<std::vector<uint16_t>> parts) {
    std::vector<uint16_t> numbers;
    for (const auto& part : parts) numbers.insert(numbers.end(), part.begin(), part.end());
    return numbers;
}

class ToolRecordingTrust : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        WriteImage("a.pgm", SmoothImage());
        EXPECT_EQ(Run({"synth", "a.pgm", "-o", "one.bin"}).status, 0);
        frame_ = ReadFile("one.bin");
        std::filesystem::remove(Path("one.bin"));
    }

    // A recording of the same frame under each of these sequence numbers.
    std::string WriteRecording(const std::string& name, const std::vector<uint16_t>& numbers) const {
        std::string bytes;
        for (const uint16_t number : numbers) {
            std::string frame = frame_;
            frame[FrameBytes(kHeight) - kSequenceNoFromEnd] = static_cast<char>(number & 0xFF);
            frame[FrameBytes(kHeight) - kSequenceNoFromEnd + 1] = static_cast<char>(number >> 8);
            bytes += frame;
        }
        WriteFile(name, bytes);
        return bytes;
    }

    std::string frame_;
};

// One case per way the camera's numbers go wrong: what scan says, and how many files
// --fill-dropped writes (a file per frame and per missing number of a confirmed gap).
TEST_F(ToolRecordingTrust, ScanAndFillFollowTheCamera) {
    struct Case {
        std::string what;
        std::vector<uint16_t> numbers;
        std::vector<std::string> lines;
        std::string files;
    };
    std::vector<uint16_t> outlier = Counting(100, 100);
    outlier[50] = 30000;
    const Case cases[] = {
        {"one number jumping ahead", outlier,
         {"dropped: 0 frames in 0 gaps\n", "repeated or out of order: 1 frame: frame 50 (30000, ahead of 149)\n"},
         "wrote 100 files"},
        {"a counter reset, then 5 dropped", Joined({Counting(5000, 50), Counting(0, 20), Counting(25, 30)}),
         {"dropped: 5 frames in 1 gap: 5 before frame 70\n", "repeated or out of order: 0 frames\n",
          "counter resets: 1: at frame 50\n"},
         "wrote 105 files"},
        {"swapped neighbours", {10, 11, 12, 14, 13, 15, 16},
         {"dropped: 0 frames in 0 gaps\n",
          "repeated or out of order: 2 frames: frame 3 (14, ahead of 12), frame 4 (13, behind 14)\n"},
         "wrote 7 files"},
    };
    for (const Case& c : cases) {
        WriteRecording("rec.bin", c.numbers);
        const ToolRun scan = Run({"scan", "rec.bin", "--height", "48"});
        ASSERT_EQ(scan.status, 0) << c.what << ": " << scan.err;
        for (const std::string& line : c.lines) EXPECT_NE(scan.out.find(line), std::string::npos) << c.what << "\n" << scan.out;
        std::filesystem::remove_all(Path("out"));
        std::filesystem::create_directory(Path("out"));
        const ToolRun fill =
            Run({"convert", "rec.bin", "--height", "48", "--mode", "dc", "--fill-dropped", "-o", "out/f%d.pgm"});
        EXPECT_NE(fill.out.find(c.files), std::string::npos) << c.what << "\n" << fill.out << fill.err;
    }
    const ToolRun json = Run({"scan", "rec.bin", "--height", "48", "--json"});
    EXPECT_NE(json.out.find("\"repeated\": [3, 4], \"resets\": []"), std::string::npos) << json.out;
}

// A gap past --fill-limit is refused in one line before any file is made; a higher limit fills it.
TEST_F(ToolRecordingTrust, AGapPastTheFillLimitIsRefusedBeforeWriting) {
    WriteRecording("rec.bin", Joined({Counting(0, 10), Counting(30, 6)}));  // 20 dropped before frame 10
    const std::set<std::string> before = Files();
    for (const char* output : {"out.tif", "f%d.pgm"}) {
        const ToolRun refused =
            Run({"convert", "rec.bin", "--height", "48", "--fill-dropped", "--fill-limit", "19", "-o", output});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err, "framedec convert: --fill-dropped: 20 frames dropped before frame 10 (sequence numbers "
                               "after 9) are more than --fill-limit 19 (raise it to fill that gap)\n");
        EXPECT_EQ(Files(), before) << output;
    }
    const ToolRun filled = Run({"convert", "rec.bin", "--height", "48", "--mode", "dc", "--fill-dropped",
                                "--fill-limit", "20", "-o", "f%d.pgm"});
    EXPECT_NE(filled.out.find("wrote 36 files, f0.pgm to f35.pgm"), std::string::npos) << filled.out << filled.err;
}

// -o naming an input, however it is named, is refused and the input kept whole: the recording of
// a convert (a TIFF, or a file of a PNG or PGM sequence), a decode's frame, a synth's image.
TEST_F(ToolRecordingTrust, AnOutputThatIsAnInputIsRefused) {
    WriteRecording("rec.tif", Counting(0, 24));
    std::filesystem::create_hard_link(Path("rec.tif"), Path("link.tif"));
    WriteRecording("f3.pgm", Counting(0, 24));
    WriteRecording("frame.bin", {7});
    const std::set<std::string> before = Files();
    struct Case {
        std::vector<std::string> args;
        std::string output, input;
    };
    const Case cases[] = {
        {{"convert", "rec.tif", "--height", "48", "--frames", "0:5"}, "rec.tif", "rec.tif"},
        {{"convert", "rec.tif", "--height", "48", "--frames", "0:5"}, "./rec.tif", "rec.tif"},
        {{"convert", "rec.tif", "--height", "48", "--frames", "0:5"}, "link.tif", "rec.tif"},
        {{"convert", "f3.pgm", "--height", "48", "--frames", "0:5"}, "f%d.pgm", "f3.pgm"},
        {{"decode", "frame.bin", "--height", "48"}, "./frame.bin", "frame.bin"},
        {{"synth", "a.pgm"}, "a.pgm", "a.pgm"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", c.output});
        const ToolRun run = Run(args);
        EXPECT_EQ(run.status, 1) << c.output;
        const std::string hit = c.output == "f%d.pgm" ? "f3.pgm" : c.output;
        EXPECT_EQ(run.err, "framedec " + c.args[0] + ": '" + hit + "' is the input " + c.input +
                               " itself: choose another output name\n");
        EXPECT_EQ(Files(), before) << c.output;
    }
    EXPECT_EQ(ReadFile("rec.tif").size(), 24 * FrameBytes(kHeight));
}

// A killed run's temporary file (a file system without unnamed files) goes with the next convert
// into its folder; one whose process still runs, or that was written a moment ago, stays.
TEST_F(ToolRecordingTrust, AStaleTemporaryFileIsRemoved) {
    WriteRecording("rec.bin", Counting(0, 3));
    constexpr uint64_t kNoProcess = 4194301;  // above Linux's largest process id, and no Windows one (not a multiple of 4)
    const std::string stale = "framedec-" + std::to_string(kNoProcess) + "-0.tmp";
    const std::string fresh = "framedec-" + std::to_string(kNoProcess) + "-1.tmp";
    const std::string running = "framedec-" + std::to_string(CurrentProcessId()) + "-0.tmp";
    for (const std::string& name : {stale, fresh, running}) WriteFile(name, std::string(1000, 'x'));
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(Path(stale), old);
    std::filesystem::last_write_time(Path(running), old);
    ASSERT_EQ(Run({"convert", "rec.bin", "--height", "48", "--mode", "dc", "-o", "f%d.pgm"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(Path(stale)));
    EXPECT_TRUE(std::filesystem::exists(Path(fresh)));
    EXPECT_TRUE(std::filesystem::exists(Path(running)));
}

// Two frames whose numbers step +1 could be one recording of two frames or a taller frame: the
// numbers cannot tell its height, and the message says so.
TEST_F(ToolRecordingTrust, ARecordingOfTwoFramesIsTooShortToTell) {
    WriteRecording("two.bin", {7, 8});
    const ToolRun scan = Run({"scan", "two.bin", "--height", "auto"});
    EXPECT_EQ(scan.status, 1);
    EXPECT_NE(scan.err.find("is too short to tell its frame height: its sequence numbers run at no height that "
                            "gives three frames or more, and it may be two frames of 48 lines or one of 96"),
              std::string::npos)
        << scan.err;
}

}  // namespace
}  // namespace framedec::testing
