// The framedec tool's subcommands on small synthesised frames, run as a user runs them.
#include <cstdlib>
#include <regex>

#include "codec/frame_geometry.h"
#include "synth/frame_synth.h"
#include "synth/reference_images.h"
#include "tool_runner.h"

namespace framedec::testing {
namespace {

// The number after "label" in text (-1 when absent).
long NumberAfter(const std::string& text, const std::string& label) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(label + R"(\s*(\d+))"))) return -1;
    return std::stol(match[1]);
}

class ToolCommands : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        source_ = SmoothImage();
        WriteImage("image.pgm", source_);
    }

    // synth image.pgm -o frame.bin extra... ; a 48-line frame.
    ToolRun Synth(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"synth", "image.pgm", "-o", "frame.bin"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    }

    ToolRun Decode(const std::string& output, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"decode", "frame.bin", "--height", "48", "-o", output};
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    }

    tools::GreyImage source_;
};

TEST_F(ToolCommands, SynthThenDecodeStaysCloseToTheSource) {
    const ToolRun synth = Synth({"--seq", "4242"});
    ASSERT_EQ(synth.status, 0) << synth.err;
    EXPECT_NE(synth.out.find("width padded to 1246 pixels, height fits (48 lines)"), std::string::npos) << synth.out;
    EXPECT_EQ(ReadFile("frame.bin").size(), FrameBytes(48));

    const ToolRun decode = Decode("pixels.pgm");
    ASSERT_EQ(decode.status, 0) << decode.err;
    EXPECT_EQ(decode.err, "");
    const tools::GreyImage decoded = ReadImage("pixels.pgm");
    EXPECT_EQ(decoded.width, kMaxImageWidth);
    EXPECT_EQ(decoded.height, 48u);
    EXPECT_GT(tools::Psnr(source_, decoded), 35.0);
    EXPECT_EQ(Files(), (std::set<std::string>{"image.pgm", "frame.bin", "pixels.pgm"}));  // no temporary left
}

TEST_F(ToolCommands, SynthCropsATallerImageToTheGivenHeight) {
    ASSERT_EQ(Synth({"--height", "32"}).status, 0);
    EXPECT_EQ(ReadFile("frame.bin").size(), FrameBytes(32));
    ASSERT_EQ(Run({"decode", "frame.bin", "--height", "32", "-o", "top.pgm"}).status, 0);
    EXPECT_GT(tools::Psnr(tools::CropImage(source_, 64, 32), ReadImage("top.pgm")), 35.0);
}

TEST_F(ToolCommands, InfoReportsTheSequenceNumberSynthWrote) {
    ASSERT_EQ(Synth({"--seq", "4242"}).status, 0);
    const ToolRun info = Run({"info", "frame.bin", "--height", "48"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(NumberAfter(info.out, "sequence number:"), 4242);
    EXPECT_NE(info.out.find("size matches"), std::string::npos);
    EXPECT_EQ(NumberAfter(info.out, "slots:"), 6 * 156);
    // 8 x 6 blocks carry the picture; the rest of each block row is empty.
    EXPECT_EQ(NumberAfter(info.out, "empty:"), 6 * 156 - 8 * 6);
}

TEST_F(ToolCommands, InfoCountsEmptyAndFullSlots) {
    tools::GreyImage flat{64, 48, std::vector<uint8_t>(64 * 48, 128)};
    WriteImage("image.pgm", flat);
    ASSERT_EQ(Synth().status, 0);
    ToolRun info = Run({"info", "frame.bin", "--height", "48"});
    EXPECT_EQ(NumberAfter(info.out, "empty:"), 6 * 156);
    EXPECT_EQ(NumberAfter(info.out, "using all 128 bits:"), 0);

    // Noise at the finest table needs more than a slot holds: the synthesiser fills slots up.
    tools::GreyImage noise{64, 48, {}};
    for (uint32_t i = 0; i < 64 * 48; ++i) noise.pixels.push_back(static_cast<uint8_t>(i * 2654435761u >> 24));
    WriteImage("image.pgm", noise);
    ASSERT_EQ(Synth({"--quality", "100"}).status, 0);
    info = Run({"info", "frame.bin", "--height", "48"});
    EXPECT_GT(NumberAfter(info.out, "using all 128 bits:"), 0) << info.out;
    EXPECT_EQ(NumberAfter(info.out, "cut off \\(codes past bit 127\\):"), 0) << info.out;
}

TEST_F(ToolCommands, TableFileAndQualityChooseTheSameTable) {
    std::string text;
    const tools::QuantTable table = tools::TableForQuality(90);
    for (std::size_t i = 0; i < table.size(); ++i) text += std::to_string(table[i]) + (i % 8 == 7 ? "\n" : "\t ");
    WriteFile("q90.txt", text);
    ASSERT_EQ(Synth({"--table", "q90.txt"}).status, 0);
    const std::string fromFile = ReadFile("frame.bin");
    ASSERT_EQ(Synth({"--quality", "90"}).status, 0);
    EXPECT_EQ(ReadFile("frame.bin"), fromFile);

    ASSERT_EQ(Decode("a.pgm", {"--table", "q90.txt"}).status, 0);
    ASSERT_EQ(Decode("b.pgm", {"--quality", "90"}).status, 0);
    EXPECT_EQ(ReadFile("a.pgm"), ReadFile("b.pgm"));
    EXPECT_GT(tools::Psnr(source_, ReadImage("a.pgm")), 35.0);
}

TEST_F(ToolCommands, RectangleIsThatPartOfTheWholeDecode) {
    ASSERT_EQ(Synth().status, 0);
    ASSERT_EQ(Decode("whole.pgm").status, 0);
    ASSERT_EQ(Decode("part.pgm", {"--rect", "8,16,41,24"}).status, 0);
    const tools::GreyImage whole = ReadImage("whole.pgm"), part = ReadImage("part.pgm");
    ASSERT_EQ(part.width, 41u);
    ASSERT_EQ(part.height, 24u);
    for (uint32_t y = 0; y < part.height; ++y)
        for (uint32_t x = 0; x < part.width; ++x) ASSERT_EQ(part.At(x, y), whole.At(8 + x, 16 + y)) << x << "," << y;
}

TEST_F(ToolCommands, DctModeWritesCoefficientsAsOffsetPgmOrRaw) {
    ASSERT_EQ(Synth().status, 0);
    ASSERT_EQ(Decode("dct.pgm", {"--mode", "dct"}).status, 0);
    ASSERT_EQ(Decode("dct.raw", {"--mode", "dct", "--raw"}).status, 0);
    uint32_t width = 0, height = 0;
    const std::vector<uint16_t> offset = ParsePgm16(ReadFile("dct.pgm"), width, height);
    EXPECT_EQ(width, kPaddedImageWidth);
    EXPECT_EQ(height, 48u);
    const std::string raw = ReadFile("dct.raw");
    ASSERT_EQ(raw.size(), offset.size() * 2);
    std::vector<int16_t> coefficients;
    for (std::size_t i = 0; i < offset.size(); ++i) {
        coefficients.push_back(static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) | static_cast<uint8_t>(raw[2 * i + 1]) << 8));
        ASSERT_EQ(offset[i], static_cast<uint16_t>(coefficients[i] + 32768)) << i;
    }
    EXPECT_GT(tools::Psnr(source_, tools::ImageFromCoefficients(coefficients, width, height)), 35.0);
}

TEST_F(ToolCommands, DcModeWritesTheBlockMeans) {
    ASSERT_EQ(Synth().status, 0);
    ASSERT_EQ(Decode("dc.pgm", {"--mode", "dc"}).status, 0);
    const tools::GreyImage preview = ReadImage("dc.pgm");
    EXPECT_EQ(preview.width, kSlotsPerRow);
    EXPECT_EQ(preview.height, 6u);
    EXPECT_GT(tools::Psnr(tools::BlockMeans(source_), preview), 40.0);
    ASSERT_EQ(Decode("corner.pgm", {"--mode", "dc", "--rect", "2,1,3,4"}).status, 0);
    const tools::GreyImage corner = ReadImage("corner.pgm");
    ASSERT_EQ(corner.width, 3u);
    EXPECT_EQ(corner.At(0, 0), preview.At(2, 1));
    EXPECT_EQ(corner.At(2, 3), preview.At(4, 4));
    // The last grid position of the last block row: its window lies partly past the frame file's
    // bytes, which the tool must not read (the sanitizer builds catch it).
    ASSERT_EQ(Decode("tail.pgm", {"--mode", "dc", "--rect", "150,5,10,1"}).status, 0);
    EXPECT_EQ(ReadImage("tail.pgm").At(5, 0), preview.At(155, 5));
}

// gpu: the whole frame with the GPU's table Q (the synthesiser's default). With the host backend
// the kernels run on the CPU and the image is within a grey level or two of the CPU decode; with
// the cuda backend on a machine without a device, and always with the none backend, the command
// reports result 26 and writes nothing.
TEST_F(ToolCommands, GpuModeDecodesTheWholeFrameOrReportsNoDevice) {
    ASSERT_EQ(Synth().status, 0);
    ASSERT_EQ(Decode("pixels.pgm").status, 0);
    const ToolRun gpu = Decode("gpu.pgm", {"--mode", "gpu"});
    const std::string backend = FRAMEDEC_GPU_BACKEND_NAME;
    if (backend == "none" || (backend == "cuda" && gpu.status != 0)) {
        EXPECT_EQ(gpu.status, 1);
        EXPECT_NE(gpu.err.find("no CUDA device is available (result code 26)"), std::string::npos) << gpu.err;
        EXPECT_FALSE(std::filesystem::exists(Path("gpu.pgm")));
        return;
    }
    ASSERT_EQ(gpu.status, 0) << gpu.err;
    const tools::GreyImage onGpu = ReadImage("gpu.pgm"), onCpu = ReadImage("pixels.pgm");
    ASSERT_EQ(onGpu.width, kMaxImageWidth);
    ASSERT_EQ(onGpu.height, 48u);
    for (std::size_t i = 0; i < onGpu.pixels.size(); ++i) ASSERT_LE(std::abs(onGpu.pixels[i] - onCpu.pixels[i]), 2) << i;
}

TEST_F(ToolCommands, HelpForTheToolAndEveryCommand) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"synth", "--help"}, {"decode", "-h"}, {"info", "--help"}, {"demo", "--help"}, {"scan", "--help"},
             {"convert", "--help"},
             {"decode", "--bogus", "--height", "3", "--help"}}) {
        const ToolRun run = Run(args);
        EXPECT_EQ(run.status, 0) << args[0];
        EXPECT_EQ(run.out.rfind("usage: framedec", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
}

TEST_F(ToolCommands, VersionIsTheProjectVersion) {
    const ToolRun run = Run({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(0, run.out.find_first_of("\r\n")), "framedec " FRAMEDEC_PROJECT_VERSION);
}

TEST_F(ToolCommands, AnOutputIsReplacedWhole) {
    ASSERT_EQ(Synth().status, 0);
    WriteFile("out.pgm", "an older file");
    ASSERT_EQ(Decode("out.pgm", {"--rect", "4,0,8,8"}).status, 1);  // refused: the old file stays
    EXPECT_EQ(ReadFile("out.pgm"), "an older file");
    ASSERT_EQ(Decode("out.pgm", {"--rect", "0,0,8,8"}).status, 0);
    EXPECT_EQ(ReadImage("out.pgm").width, 8u);
}

TEST_F(ToolCommands, ParallelModeWritesTheSamePixels) {
    ASSERT_EQ(Synth().status, 0);
    ASSERT_EQ(Decode("pixels.pgm", {"--rect", "8,16,41,24"}).status, 0);
    for (const std::string threads : {"1", "3", "32"}) {
        const ToolRun run = Decode("mt.pgm", {"--mode", "mt", "--threads", threads, "--rect", "8,16,41,24"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(", " + threads + (threads == "1" ? " thread\n" : " threads\n")), std::string::npos)
            << run.out;
        EXPECT_EQ(ReadFile("mt.pgm"), ReadFile("pixels.pgm")) << threads << " threads";
    }
}

}  // namespace
}  // namespace framedec::testing
