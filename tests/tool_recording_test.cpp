// Recordings in the framedec tool: synth makes them, scan reports their sequence numbers, convert
// writes their frames to TIFF stacks and PNG or PGM sequences equal to the library's decodes.
#include <cstring>
#include <fstream>
#include <iterator>

#include "codec/frame_geometry.h"
#include "framedec.h"
#include "process_support.h"
#include "synth/frame_synth.h"
#include "tool_runner.h"

#if FRAMEDEC_TEST_TIFF
#include <tiffio.h>
#endif
#if FRAMEDEC_TEST_PNG
#include <png.h>
#endif

namespace framedec::testing {
namespace {

constexpr uint32_t kHeight = 48;  // SmoothImage's height

// A shell, /proc and /dev/zero of the system itself (under Wine those paths may exist, but the
// Windows programs cannot use them as Linux does).
#if defined(__linux__)
constexpr bool kLinux = true;
#else
constexpr bool kLinux = false;
#endif

struct Page {
    tools::GreyImage image;
    std::string name;
    std::string description;  // ImageJ's, on the first page
    uint64_t offset = 0;      // of the page's one strip
    uint16_t predictor = 1;
};

#if FRAMEDEC_TEST_TIFF
std::vector<Page> ReadTiffPages(const std::string& path) {
    std::vector<Page> pages;
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return pages;
    }
    do {
        Page page;
        uint16_t bits = 0, samples = 0;
        char* name = nullptr;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &page.image.width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &page.image.height);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
        EXPECT_EQ(bits, 8);
        EXPECT_EQ(samples, 1);
        if (TIFFGetField(tiff, TIFFTAG_PAGENAME, &name)) page.name = name;
        if (TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &name)) page.description = name;
        uint16_t compression = COMPRESSION_NONE;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
        if (compression != COMPRESSION_NONE) TIFFGetFieldDefaulted(tiff, TIFFTAG_PREDICTOR, &page.predictor);
        page.offset = TIFFGetStrileOffset(tiff, 0);
        page.image.pixels.resize(std::size_t{page.image.width} * page.image.height);
        for (uint32_t y = 0; y < page.image.height; ++y)
            EXPECT_EQ(TIFFReadScanline(tiff, page.image.pixels.data() + std::size_t{y} * page.image.width, y), 1);
        pages.push_back(std::move(page));
    } while (TIFFReadDirectory(tiff));
    TIFFClose(tiff);
    return pages;
}
#endif

#if FRAMEDEC_TEST_PNG
tools::GreyImage ReadPng(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    tools::GreyImage image;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        ADD_FAILURE() << "libpng cannot read " << path << ": " << png.message;
        return image;
    }
    png.format = PNG_FORMAT_GRAY;
    image.width = png.width;
    image.height = png.height;
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    EXPECT_TRUE(png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) << png.message;
    return image;
}
#endif

// What the library decodes from frame index of a recording: the pixels, or the 1/8-scale preview.
tools::GreyImage LibraryDecode(const std::string& recording, uint64_t index, bool preview) {
    const uint8_t* frame = reinterpret_cast<const uint8_t*>(recording.data()) + index * FrameBytes(kHeight);
    const tools::QuantTable table = tools::DefaultTable();
    tools::GreyImage image{preview ? kSlotsPerRow : kMaxImageWidth, preview ? kHeight / kBlockSize : kHeight, {}};
    image.pixels.resize(std::size_t{image.width} * image.height);
    const int32_t result =
        preview ? DecodeDCData(image.pixels.data(), 0, 0, image.width, image.height, frame)
                : DecodeData(image.pixels.data(), 0, 0, image.width, image.height, image.width, frame, table.data());
    EXPECT_EQ(result, FRAMEDEC_OK);
    return image;
}

std::string Label(const std::string& recording, uint64_t index) {
    const auto* frame = reinterpret_cast<const uint8_t*>(recording.data()) + index * FrameBytes(kHeight);
    uint16_t number = 0;
    EXPECT_EQ(ExtractSequenceNo(frame, 0, kHeight, &number), FRAMEDEC_OK);
    return "frame=" + std::to_string(index) + " sequence_number=" + std::to_string(number);
}

tools::GreyImage Inverted(tools::GreyImage image) {
    for (uint8_t& p : image.pixels) p = static_cast<uint8_t>(255 - p);
    return image;
}

class ToolRecordings : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        WriteImage("a.pgm", SmoothImage());
        WriteImage("b.pgm", Inverted(SmoothImage()));
    }

    // Five frames alternating between two pictures, sequence numbers 10 to 14, then 100 bytes of a
    // sixth frame cut short.
    std::string MakeRecording() {
        const ToolRun synth = Run({"synth", "a.pgm", "b.pgm", "--count", "5", "--seq", "10", "-o", "rec.bin"});
        EXPECT_EQ(synth.status, 0) << synth.err;
        WriteFile("rec.bin", ReadFile("rec.bin") + std::string(100, '\x5a'));
        return ReadFile("rec.bin");
    }
};

TEST_F(ToolRecordings, ScanReportsDropsAWrapARepeatAndACutShortEnd) {
    // 65533, 65534, (65535 dropped), 0, 1, (2 and 3 dropped), 4 to 7, then 7 again, then a partial frame.
    const ToolRun synth =
        Run({"synth", "a.pgm", "--count", "8", "--seq", "65533", "--drop", "65535,2-3", "-o", "rec.bin"});
    ASSERT_EQ(synth.status, 0) << synth.err;
    EXPECT_NE(synth.out.find("8 frames of 48 lines, 122880 bytes, sequence numbers 65533 to 7 (3 left out)"),
              std::string::npos)
        << synth.out;
    const std::string frames = ReadFile("rec.bin");
    WriteFile("rec.bin", frames + frames.substr(7 * FrameBytes(kHeight)) + std::string(1000, '\0'));

    const ToolRun json = Run({"scan", "rec.bin", "--height", "48", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\"height\": 48, \"frames\": 9, \"sequence_numbers\": [65533, 65534, 0, 1, 4, 5, 6, 7, 7], "
              "\"dropped\": [{\"index\": 2, \"count\": 1}, {\"index\": 4, \"count\": 2}], \"repeated\": [8], "
              "\"resets\": [], \"trailing_bytes\": 1000}\n");

    const ToolRun summary = Run({"scan", "rec.bin", "--height", "48"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    for (const char* line :
         {"rec.bin: 9 frames of 48 lines (15360 bytes each)\n", "cut short: 1000 trailing bytes",
          "sequence numbers: 65533 to 7", "dropped: 3 frames in 2 gaps: 1 before frame 2, 2 before frame 4",
          "repeated or out of order: 1 frame: frame 8 (7 again)", "counter resets: 0\n"})
        EXPECT_NE(summary.out.find(line), std::string::npos) << line << "\n" << summary.out;

    const ToolRun csv = Run({"scan", "rec.bin", "--height", "auto", "--csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out,
              "index,sequence_number,gap_before,repeated,reset\n0,65533,0,0,0\n1,65534,0,0,0\n2,0,1,0,0\n3,1,0,0,0\n"
              "4,4,2,0,0\n5,5,0,0,0\n6,6,0,0,0\n7,7,0,0,0\n8,7,0,1,0\n");
}

// A stale copy of frame 4 after frame 8 is one repeat, and adds no drop: 9 dropped before and after.
TEST_F(ToolRecordings, AStaleFrameAddsNoDrop) {
    ASSERT_EQ(Run({"synth", "a.pgm", "--count", "12", "--drop", "9-16", "-o", "rec.bin"}).status, 0);
    const std::string frames = ReadFile("rec.bin");
    const std::size_t frameBytes = FrameBytes(kHeight);
    // Numbers 0 to 8, 17 to 19 (8 dropped), then 21 (1 more); the stale 4 goes after 8.
    WriteFile("rec.bin", frames.substr(0, 9 * frameBytes) + frames.substr(4 * frameBytes, frameBytes) +
                             frames.substr(9 * frameBytes, 3 * frameBytes));
    ASSERT_EQ(Run({"synth", "a.pgm", "--seq", "21", "-o", "last.bin"}).status, 0);
    WriteFile("rec.bin", ReadFile("rec.bin") + ReadFile("last.bin"));
    const ToolRun scan = Run({"scan", "rec.bin", "--height", "48"});
    ASSERT_EQ(scan.status, 0) << scan.err;
    EXPECT_NE(scan.out.find("dropped: 9 frames in 2 gaps: 8 before frame 10, 1 before frame 13\n"), std::string::npos)
        << scan.out;
    EXPECT_NE(scan.out.find("repeated or out of order: 1 frame: frame 9 (4, behind 8)\n"), std::string::npos)
        << scan.out;
}

// A 1024-line recording read at 512 or 1016 lines gives plausible images: refused, naming 1024.
TEST_F(ToolRecordings, AWrongHeightIsRefusedNamingTheRightOne) {
    ASSERT_EQ(Run({"synth", "a.pgm", "--count", "4", "--height", "1024", "-o", "rec.bin"}).status, 0);
    const std::set<std::string> before = Files();
    for (const char* height : {"512", "1016"}) {
        for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
                 {"scan", "rec.bin"}, {"convert", "rec.bin", "-o", "f%d.pgm", "--mode", "dc"}}) {
            std::vector<std::string> args = command;
            args.insert(args.end(), {"--height", height});
            const ToolRun run = Run(args);
            EXPECT_EQ(run.status, 1) << run.out;
            EXPECT_EQ(run.err, "framedec " + command[0] + ": recording 'rec.bin': the sequence numbers do not run at "
                                   "--height " + height + " (0 of " + (height == std::string("512") ? "7" : "3") +
                                   " steps between frames are +1); at --height 1024 they do (--force reads it as "
                                   "asked)\n");
            EXPECT_EQ(Files(), before);
        }
    }
    const ToolRun found = Run({"scan", "rec.bin", "--height", "auto"});
    EXPECT_NE(found.out.find("4 frames of 1024 lines"), std::string::npos) << found.out << found.err;
    const ToolRun forced = Run({"scan", "rec.bin", "--height", "512", "--force"});
    EXPECT_NE(forced.out.find("8 frames of 512 lines"), std::string::npos) << forced.out << forced.err;
}

// Every page is the library's decode, labelled; the first page's ImageJ description makes a time
// series of them, and uncompressed pages lie back to back as ImageJ reads them.
TEST_F(ToolRecordings, TiffPagesAreTheLibrarysDecodes) {
    const std::string recording = MakeRecording();
#if !FRAMEDEC_TEST_TIFF
    const ToolRun run = Run({"convert", "rec.bin", "--height", "48", "-o", "out.tif"});
    if (!FRAMEDEC_TOOL_TIFF) EXPECT_EQ(run.err, "framedec convert: this build of framedec has no TIFF support\n");
    GTEST_SKIP() << "no TIFF support in the tool or no libtiff to read its stacks; convert said: " << run.err;
#else
    struct Case {
        std::vector<std::string> extra;
        uint64_t first, pages;
        std::string timing;  // the description's interval line
    };
    const Case cases[] = {
        {{"--threads", "3", "--fps", "25"}, 0, 5, "finterval=0.04\n"},
        {{"--threads", "1", "--deflate", "--frame-interval", "0.5"}, 0, 5, "finterval=0.5\n"},
        {{"--frames", "1:4", "--threads", "2"}, 1, 3, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"convert", "rec.bin", "--height", "48", "-o", "out.tif"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const ToolRun run = Run(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("skipped 100 trailing bytes"), std::string::npos) << run.out;
        const std::vector<Page> pages = ReadTiffPages(Path("out.tif").string());
        ASSERT_EQ(pages.size(), c.pages) << ::testing::PrintToString(c.extra);
        const bool deflate = c.extra[2] == "--deflate";
        EXPECT_EQ(pages[0].description, "ImageJ=1.11a\nimages=" + std::to_string(c.pages) + "\nframes=" +
                                            std::to_string(c.pages) + "\nhyperstack=true\n" + c.timing + "loop=false\n");
        for (std::size_t i = 0; i < pages.size(); ++i) {
            EXPECT_EQ(pages[i].image.pixels, LibraryDecode(recording, c.first + i, false).pixels) << "page " << i;
            EXPECT_EQ(pages[i].name, Label(recording, c.first + i));
            EXPECT_EQ(pages[i].predictor, deflate ? 2 : 1);
            if (!deflate) EXPECT_EQ(pages[i].offset, pages[0].offset + i * pages[0].image.pixels.size()) << i;
        }
        EXPECT_EQ(Files(), (std::set<std::string>{"a.pgm", "b.pgm", "rec.bin", "out.tif"}));
    }
#endif
}

// Frames 0 to 7 with 2, 3 and 5 dropped: the drops are summed up on standard error, and blanks fill
// them on request, one per dropped number, so that the page index follows the camera's count.
TEST_F(ToolRecordings, ConvertSumsUpDropsAndFillsThemOnRequest) {
    ASSERT_EQ(Run({"synth", "a.pgm", "b.pgm", "--count", "5", "--drop", "2-3,5", "-o", "rec.bin"}).status, 0);
    const std::string recording = ReadFile("rec.bin");
    const std::string summary = "framedec convert: frames 0 to 4 of rec.bin: 3 dropped in 2 gaps, 0 repeated or out "
                                "of order; ";
    const ToolRun plain = Run({"convert", "rec.bin", "--height", "48", "-o", "f%d.pgm", "--mode", "dc"});
    EXPECT_EQ(plain.err, summary + "files after a gap are not the camera's count (--fill-dropped puts a blank file "
                                   "in each dropped frame's place)\n");
    const ToolRun filled =
        Run({"convert", "rec.bin", "--height", "48", "-o", "g%d.pgm", "--mode", "dc", "--fill-dropped"});
    EXPECT_EQ(filled.err, summary + "a blank file in each dropped frame's place\n");
    EXPECT_NE(filled.out.find("wrote 8 files, g0.pgm to g7.pgm"), std::string::npos) << filled.out;
    const std::vector<int> frameOfFile = {0, 1, -1, -1, 2, -1, 3, 4};  // -1: blank
    for (std::size_t i = 0; i < frameOfFile.size(); ++i) {
        const std::string name = "g" + std::to_string(i) + ".pgm";
        const tools::GreyImage image = ReadImage(name);
        if (frameOfFile[i] < 0) {
            EXPECT_EQ(image.pixels, std::vector<uint8_t>(image.pixels.size(), 0)) << name;
            EXPECT_NE(ReadFile(name).find("# dropped sequence_number=" + std::to_string(i) + "\n"), std::string::npos);
        } else {
            EXPECT_EQ(image.pixels, LibraryDecode(recording, frameOfFile[i], true).pixels) << name;
            EXPECT_NE(ReadFile(name).find("# " + Label(recording, frameOfFile[i]) + "\n"), std::string::npos);
        }
    }
#if FRAMEDEC_TEST_TIFF
    ASSERT_EQ(Run({"convert", "rec.bin", "--height", "48", "-o", "out.tif", "--fill-dropped"}).status, 0);
    const std::vector<Page> pages = ReadTiffPages(Path("out.tif").string());
    ASSERT_EQ(pages.size(), 8u);  // sequence numbers 0 to 7
    EXPECT_EQ(pages[5].name, "dropped sequence_number=5");
    EXPECT_EQ(pages[6].name, Label(recording, 3));
    EXPECT_NE(pages[0].description.find("images=8\nframes=8\n"), std::string::npos);
#endif
}

TEST_F(ToolRecordings, SequencesHoldTheLibrarysDecodes) {
    const std::string recording = MakeRecording();
    ASSERT_EQ(Run({"convert", "rec.bin", "--height", "48", "-o", "f%03d.pgm", "--frames", "2:"}).status, 0);
    ASSERT_EQ(Run({"convert", "rec.bin", "--height", "48", "-o", "dc-%d.pgm", "--mode", "dc"}).status, 0);
    for (uint64_t i = 0; i < 5; ++i) {
        EXPECT_EQ(ReadImage("dc-" + std::to_string(i) + ".pgm").pixels, LibraryDecode(recording, i, true).pixels);
        if (i >= 2)
            EXPECT_EQ(ReadImage("f00" + std::to_string(i) + ".pgm").pixels, LibraryDecode(recording, i, false).pixels);
    }
    EXPECT_FALSE(std::filesystem::exists(Path("f001.pgm")));
    EXPECT_NE(ReadFile("f003.pgm").find("# " + Label(recording, 3) + "\n"), std::string::npos);

#if !FRAMEDEC_TEST_PNG
    const ToolRun png = Run({"convert", "rec.bin", "--height", "48", "-o", "p%02d.png"});
    if (!FRAMEDEC_TOOL_PNG) EXPECT_EQ(png.err, "framedec convert: this build of framedec has no PNG support\n");
    GTEST_SKIP() << "no PNG support in the tool or no libpng to read its files; convert said: " << png.err;
#else
    const ToolRun png = Run({"convert", "rec.bin", "--height", "48", "-o", "p%02d.png", "--threads", "4"});
    ASSERT_EQ(png.status, 0) << png.err;
    EXPECT_NE(png.out.find("wrote 5 files, p00.png to p04.png"), std::string::npos) << png.out;
    for (uint64_t i = 0; i < 5; ++i)
        EXPECT_EQ(ReadPng(Path("p0" + std::to_string(i) + ".png").string()).pixels,
                  LibraryDecode(recording, i, false).pixels);
#endif
}

TEST_F(ToolRecordings, FileNamesFollowThePattern) {
    MakeRecording();
    std::vector<std::pair<std::string, std::string>> cases = {
        {"f%d.pgm", "f3.pgm"}, {"f%05d.pgm", "f00003.pgm"}, {"f%3u.pgm", "f  3.pgm"}, {"100%%-%i.pgm", "100%-3.pgm"}};
    if (FRAMEDEC_TOOL_TIFF) cases.emplace_back("50%.tif", "50%.tif");  // a TIFF's name is taken as it is
    for (const auto& [pattern, name] : cases) {
        const ToolRun run = Run({"convert", "rec.bin", "--height", "48", "--mode", "dc", "--frames", "3:4", "-o", pattern});
        EXPECT_EQ(run.status, 0) << pattern << ": " << run.err;
        EXPECT_TRUE(std::filesystem::is_regular_file(Path(name))) << pattern;
    }
}

// A full disk part-way (here every file is capped at 40,000 bytes): the TIFF disappears whole, a
// sequence keeps its whole files and says which they are.
TEST_F(ToolRecordings, AFullDiskLeavesNoPartialFile) {
    if (!CanLimitFileSize()) GTEST_SKIP() << "no per-process file size limit on this platform to stand in for a full disk";
    WriteImage("flat.pgm", tools::GreyImage{64, 48, std::vector<uint8_t>(64 * 48, 128)});
    ASSERT_EQ(Run({"synth", "flat.pgm", "flat.pgm", "a.pgm", "-o", "rec.bin"}).status, 0);
    const std::set<std::string> before = Files();
#if FRAMEDEC_TOOL_TIFF
    const ToolRun tiff = Run({"convert", "rec.bin", "--height", "48", "-o", "out.tif"}, 40'000);
    EXPECT_EQ(tiff.status, 1);
    EXPECT_EQ(tiff.err, "framedec convert: cannot write 'out.tif': File too large\n");
    EXPECT_EQ(Files(), before);
#endif

    // An unpadded PGM of 1246 x 48 is 59,808 bytes: the first file fails.
    const ToolRun pgm = Run({"convert", "rec.bin", "--height", "48", "-o", "f%d.pgm"}, 40'000);
    EXPECT_EQ(pgm.err, "framedec convert: cannot write 'f0.pgm': File too large; no file written\n");
    EXPECT_EQ(Files(), before);
#if FRAMEDEC_TEST_PNG
    // Flat frames make small PNGs, the picture a larger one.
    const ToolRun png = Run({"convert", "rec.bin", "--height", "48", "-o", "f%d.png"}, 1'000);
    EXPECT_EQ(png.status, 1);
    EXPECT_EQ(png.err, "framedec convert: cannot write 'f2.png': File too large; wrote 2 files, f0.png to f1.png\n");
    EXPECT_EQ(Files().size(), before.size() + 2);
#endif
    const ToolRun synth = Run({"synth", "a.pgm", "--count", "3", "-o", "big.bin"}, 40'000);
    EXPECT_EQ(synth.err, "framedec synth: cannot write 'big.bin': File too large\n");
}

// Temporary files never lengthen a name: names of 250 characters, the file system's limit less
// a few, work for a stack, a sequence pattern and a decode.
TEST_F(ToolRecordings, NamesNearTheLengthLimitWork) {
    if (!kLinux) GTEST_SKIP() << "Windows limits a whole path, not only a name, to 260 characters";
    MakeRecording();
    const std::string stem(246, 'n');
    std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{"convert", "rec.bin", "--height", "48", "--mode", "dc", "-o", stem.substr(0, 240) + "%05d.pgm"},
         stem.substr(0, 240) + "00000.pgm"},
        {{"synth", "a.pgm", "-o", stem + ".bin"}, stem + ".bin"},
    };
    if (FRAMEDEC_TOOL_TIFF) runs.push_back({{"convert", "rec.bin", "--height", "48", "-o", stem + ".tif"}, stem + ".tif"});
    for (const auto& [args, name] : runs) {
        const ToolRun run = Run(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(std::filesystem::is_regular_file(Path(name))) << name.size() << " characters";
    }
}

// SIGKILL in the middle of a TIFF convert: the stack had no name yet, so nothing is left.
TEST_F(ToolRecordings, AKilledConvertLeavesNoFile) {
    if (!FRAMEDEC_TOOL_TIFF || !kLinux) GTEST_SKIP() << "needs TIFF output and Linux (a shell, /proc, O_TMPFILE)";
    ASSERT_EQ(Run({"synth", "a.pgm", "b.pgm", "--count", "400", "--height", "128", "-o", "rec.bin"}).status, 0);
    std::filesystem::create_directory(Path("out"));
    // Started in the background and killed as soon as it holds its unnamed file in out/ open;
    // exit 3 if it finished first, 4 if the file system gave it a named temporary file instead.
    const std::string script =
        "\"$0\" convert rec.bin --height 128 -o out/k.tif --threads 1 & pid=$!\n"
        "while :; do\n"
        "  fds=$(ls -l /proc/$pid/fd 2>/dev/null)\n"
        "  case $fds in *out/framedec-*) kill -9 $pid; exit 4;; *'/out/#'*'(deleted)'*) break;; esac\n"
        "  kill -0 $pid 2>/dev/null || exit 3\n"
        "done\n"
        "kill -9 $pid; wait $pid; exit 0\n";
    const ProgramRun run = RunProgram({"/bin/sh", "-c", script, FRAMEDEC_TOOL}, work_, root_ / "stdout",
                                      root_ / "stderr", std::chrono::seconds(60));
    if (run.exitCode == 4) GTEST_SKIP() << "this file system refuses unnamed files (O_TMPFILE)";
    ASSERT_EQ(run.exitCode, 0) << "the convert ended before it was seen writing";
    EXPECT_TRUE(std::filesystem::is_empty(Path("out")));
}

// Frame files come from pipes and devices too, but no more than one frame is read from them.
TEST_F(ToolRecordings, FrameInputIsBoundedToOneFrame) {
    if (!kLinux) GTEST_SKIP() << "needs Linux (a shell, pipes, /dev/zero)";
    ASSERT_EQ(Run({"synth", "a.pgm", "-o", "frame.bin"}).status, 0);
    struct Case {
        std::string command;  // run by the shell with the tool as $0
        int status;
        std::string err;
    };
    const Case cases[] = {
        {"\"$0\" info /dev/zero --height 8", 1,
         "framedec info: frame file '/dev/zero' holds more than one frame of 8 lines (2560 bytes)\n"},
        {"\"$0\" decode /dev/zero --height 1024 -o x.pgm", 1,
         "framedec decode: frame file '/dev/zero' holds more than one frame of 1024 lines (327680 bytes)\n"},
        {"yes | \"$0\" info /dev/stdin --height 8", 1,
         "framedec info: frame file '/dev/stdin' holds more than one frame of 8 lines (2560 bytes)\n"},
        {"cat frame.bin | \"$0\" decode /dev/stdin --height 48 -o x.pgm >/dev/null", 0, ""},
        {"\"$0\" scan /dev/zero --height 8", 1,
         "framedec scan: recording '/dev/zero' is a device: a recording must be a file (its frames are read by "
         "position)\n"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = RunProgram({"/bin/sh", "-c", c.command, FRAMEDEC_TOOL}, work_, root_ / "stdout",
                                          root_ / "stderr", std::chrono::seconds(20));
        EXPECT_FALSE(run.timedOut) << c.command;
        EXPECT_EQ(run.exitCode, c.status) << c.command;
        std::ifstream err(root_ / "stderr");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(err), {}), c.err) << c.command;
    }
    EXPECT_EQ(ReadFile("x.pgm").substr(0, 3), "P5\n");
}

}  // namespace
}  // namespace framedec::testing
