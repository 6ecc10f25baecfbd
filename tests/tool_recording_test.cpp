// Recordings in the framedec tool: synth makes them, scan reports their sequence numbers, convert
// writes their frames to TIFF stacks and PNG or PGM sequences equal to the library's decodes.
#include <cstring>

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

struct Page {
    tools::GreyImage image;
    std::string name;
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
    // 65533, 65534, (65535 dropped), 0, 1, (2 and 3 dropped), 4, then 4 again, then a partial frame.
    const ToolRun synth =
        Run({"synth", "a.pgm", "--count", "5", "--seq", "65533", "--drop", "65535,2-3", "-o", "rec.bin"});
    ASSERT_EQ(synth.status, 0) << synth.err;
    EXPECT_NE(synth.out.find("5 frames of 48 lines, 76800 bytes, sequence numbers 65533 to 4 (3 left out)"),
              std::string::npos)
        << synth.out;
    const std::string frames = ReadFile("rec.bin");
    WriteFile("rec.bin", frames + frames.substr(4 * FrameBytes(kHeight)) + std::string(1000, '\0'));

    const ToolRun json = Run({"scan", "rec.bin", "--height", "48", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\"frames\": 6, \"sequence_numbers\": [65533, 65534, 0, 1, 4, 4], "
              "\"dropped\": [{\"index\": 2, \"count\": 1}, {\"index\": 4, \"count\": 2}], \"repeated\": [5], "
              "\"trailing_bytes\": 1000}\n");

    const ToolRun summary = Run({"scan", "rec.bin", "--height", "48"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    for (const char* line :
         {"rec.bin: 6 frames of 48 lines (15360 bytes each)", "cut short: 1000 trailing bytes",
          "sequence numbers: 65533 to 4", "dropped: 3 frames in 2 gaps: 1 before frame 2, 2 before frame 4",
          "repeated or backwards: 1 frames: frame 5 (4 after 4)"})
        EXPECT_NE(summary.out.find(line), std::string::npos) << line << "\n" << summary.out;
}

TEST_F(ToolRecordings, TiffPagesAreTheLibrarysDecodes) {
    const std::string recording = MakeRecording();
#if !FRAMEDEC_TEST_TIFF
    const ToolRun run = Run({"convert", "rec.bin", "--height", "48", "-o", "out.tif"});
    EXPECT_EQ(run.err, "framedec convert: this build of framedec has no TIFF support\n");
    GTEST_SKIP() << "this build has no TIFF support (libtiff not found); convert said: " << run.err;
#else
    for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{
             {"--threads", "3"}, {"--threads", "1", "--deflate"}, {"--frames", "1:4", "--threads", "2"}}) {
        std::vector<std::string> args = {"convert", "rec.bin", "--height", "48", "-o", "out.tif"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ToolRun run = Run(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("skipped 100 trailing bytes"), std::string::npos) << run.out;
        const std::vector<Page> pages = ReadTiffPages(Path("out.tif").string());
        const uint64_t first = extra[0] == "--frames" ? 1 : 0;
        ASSERT_EQ(pages.size(), extra[0] == "--frames" ? 3u : 5u) << ::testing::PrintToString(extra);
        for (std::size_t i = 0; i < pages.size(); ++i) {
            EXPECT_EQ(pages[i].image.pixels, LibraryDecode(recording, first + i, false).pixels) << "page " << i;
            EXPECT_EQ(pages[i].name, Label(recording, first + i));
        }
        EXPECT_EQ(Files(), (std::set<std::string>{"a.pgm", "b.pgm", "rec.bin", "out.tif"}));
    }
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
    EXPECT_EQ(png.err, "framedec convert: this build of framedec has no PNG support\n");
    GTEST_SKIP() << "this build has no PNG support (libpng not found); convert said: " << png.err;
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
    if (FRAMEDEC_TEST_TIFF) cases.emplace_back("50%.tif", "50%.tif");  // a TIFF's name is taken as it is
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
#if FRAMEDEC_TEST_TIFF
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

}  // namespace
}  // namespace framedec::testing
