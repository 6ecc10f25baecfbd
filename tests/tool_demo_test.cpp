// framedec demo: decodes in every mode, writes each image and prints one table row per mode.
#include <regex>

#include "tool_runner.h"

namespace framedec::testing {
namespace {

// The table row of mode: its PSNR in dB, or -1 when there is no such row.
double PsnrOfRow(const std::string& out, const std::string& mode) {
    std::smatch match;
    const std::regex row("\\n" + mode + R"( +\S+ +[0-9.]+ ms +([0-9.]+) dB)");
    return std::regex_search(out, match, row) ? std::stod(match[1]) : -1;
}

// Whether the demo decoded on the GPU. The host backend always does, and says so; the cuda backend
// skips the GPU on a machine without a device, with result code 26, and goes on.
bool GpuRan(const std::string& out) {
    if (std::string(FRAMEDEC_GPU_BACKEND_NAME) == "host") {
        EXPECT_NE(out.find("host GPU backend runs the GPU kernels on the CPU"), std::string::npos) << out;
        return true;
    }
    const bool skipped = out.find("gpu: skipped, no CUDA device is available (result code 26)") != std::string::npos;
    EXPECT_EQ(PsnrOfRow(out, "gpu") < 0, skipped) << out;
    return !skipped;
}

class ToolDemo : public ToolTest {};

TEST_F(ToolDemo, EveryModeOnAGivenImage) {
    WriteImage("image.pgm", SmoothImage());
    const ToolRun run = Run({"demo", "--image", "image.pgm", "-o", "shown", "--runs", "2"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* file : {"frame.bin", "pixels.pgm", "mt.pgm", "dct.pgm", "dc.pgm"})
        EXPECT_TRUE(std::filesystem::is_regular_file(Path("shown") / file)) << file;
    EXPECT_NE(run.out.find((work_ / "shown").string()), std::string::npos) << run.out;  // names the folder
    EXPECT_GT(PsnrOfRow(run.out, "pixels"), 35.0) << run.out;
    EXPECT_EQ(PsnrOfRow(run.out, "mt"), PsnrOfRow(run.out, "pixels")) << run.out;
    EXPECT_EQ(ReadFile("shown/mt.pgm"), ReadFile("shown/pixels.pgm"));
    EXPECT_GT(PsnrOfRow(run.out, "dct"), 35.0) << run.out;
    EXPECT_GT(PsnrOfRow(run.out, "dc"), 35.0) << run.out;
    if (GpuRan(run.out)) EXPECT_GT(PsnrOfRow(run.out, "gpu"), 35.0) << run.out;
    EXPECT_EQ(ReadImage("shown/pixels.pgm").height, 48u);
}

// What the README's quick start runs: no arguments, the project's own image, a folder of its own.
TEST_F(ToolDemo, NoArgumentsUsesTheProjectImage) {
    const ToolRun run = Run({"demo"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("astronaut.pgm (1246 x 1024 pixels)"), std::string::npos) << run.out;
    EXPECT_GT(PsnrOfRow(run.out, "pixels"), 40.0) << run.out;
    EXPECT_GT(PsnrOfRow(run.out, "dc"), 40.0) << run.out;
    std::set<std::string> files = {"framedec-demo", "framedec-demo/frame.bin", "framedec-demo/pixels.pgm",
                                   "framedec-demo/mt.pgm", "framedec-demo/dct.pgm", "framedec-demo/dc.pgm"};
    if (GpuRan(run.out)) files.insert("framedec-demo/gpu.pgm");
    EXPECT_EQ(Files(), files);
}

}  // namespace
}  // namespace framedec::testing
