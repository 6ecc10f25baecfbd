#include "tool_runner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace framedec::testing {

void ToolTest::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "framedec-tool-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    work_ = root_ / "work";
    std::filesystem::create_directory(work_);
}

void ToolTest::TearDown() { std::filesystem::remove_all(root_); }

ToolRun ToolTest::Run(const std::vector<std::string>& args, uint64_t fileSizeLimit) const {
    const std::string outPath = (root_ / "stdout").string(), errPath = (root_ / "stderr").string();
    const std::string workPath = work_.string();
    std::vector<std::string> all = {FRAMEDEC_TOOL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    ToolRun run;
    const pid_t pid = ::fork();
    if (pid == 0) {  // only async-signal-safe calls until exec
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(workPath.c_str()) != 0) _exit(126);
        if (fileSizeLimit > 0) {  // a write past the limit then fails with EFBIG instead of a signal
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
        }
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return run;
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
}

std::set<std::string> ToolTest::Files() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(work_))
        names.insert(entry.path().lexically_relative(work_).string());
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
    EXPECT_TRUE(tools::ReadPgm(Path(name).string(), image, error)) << error;
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
