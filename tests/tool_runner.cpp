#include "tool_runner.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "process_support.h"
#include "synth/file_path.h"

namespace framedec::testing {

void ToolTest::SetUp() {
    root_ = MakeTemporaryDirectory("framedec-tool-test-");
    ASSERT_FALSE(root_.empty());
    work_ = root_ / "work";
    std::filesystem::create_directory(work_);
}

void ToolTest::TearDown() { std::filesystem::remove_all(root_); }

ToolRun ToolTest::Run(const std::vector<std::string>& args, uint64_t fileSizeLimit) const {
    std::vector<std::string> command = {FRAMEDEC_TOOL};
    command.insert(command.end(), args.begin(), args.end());
    const ProgramRun program =
        RunProgram(command, work_, root_ / "stdout", root_ / "stderr", std::chrono::seconds(120), fileSizeLimit);
    EXPECT_FALSE(program.timedOut) << "framedec hung";
    EXPECT_EQ(program.startError, "");
    ToolRun run;
    run.status = program.exitCode;
    // Console output in text mode ends its lines with "\r\n" on Windows; compared as "\n".
    auto slurp = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
            text.erase(at, 1);
        return text;
    };
    run.out = slurp(root_ / "stdout");
    run.err = slurp(root_ / "stderr");
    return run;
}

std::set<std::string> ToolTest::Files() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(work_))
        names.insert(tools::Utf8FromPath(entry.path().lexically_relative(work_).generic_u8string()));
    return names;
}

void ToolTest::WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
}

void ToolTest::WriteImage(const std::string& name, const tools::GreyImage& image) const {
    const std::vector<uint8_t> bytes = tools::EncodePgm(image);
    WriteFile(name, std::string(bytes.begin(), bytes.end()));
}

std::string ToolTest::ReadFile(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

tools::GreyImage ToolTest::ReadImage(const std::string& name) const {
    tools::GreyImage image;
    std::string error;
    EXPECT_TRUE(tools::ReadPgm(tools::Utf8FromPath(Path(name)), image, error)) << error;
    return image;
}

tools::GreyImage SmoothImage() {
    tools::GreyImage image{64, 48, {}};
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x)
            image.pixels.push_back(static_cast<uint8_t>(128 + 50 * std::sin(x / 6.0) + 40 * std::cos(y / 5.0)));
    return image;
}

std::vector<uint16_t> ParsePgm16(const std::string& bytes, uint32_t& width, uint32_t& height) {
    std::istringstream header(bytes);
    std::string magic;
    uint32_t maxValue = 0;
    header >> magic >> width >> height >> maxValue;
    EXPECT_EQ(magic, "P5");
    EXPECT_EQ(maxValue, 65535u);
    const std::size_t start = static_cast<std::size_t>(header.tellg()) + 1;
    std::vector<uint16_t> samples;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2)
        samples.push_back(static_cast<uint16_t>(static_cast<uint8_t>(bytes[i]) << 8 | static_cast<uint8_t>(bytes[i + 1])));
    EXPECT_EQ(samples.size(), std::size_t{width} * height);
    return samples;
}

}  // namespace framedec::testing
