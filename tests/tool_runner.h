// Runs the built framedec tool in a scratch folder and captures what it prints.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "synth/file_path.h"
#include "synth/pgm.h"

namespace framedec::testing {

struct ToolRun {
    int status = -1;  // exit status; -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// A test with its own empty working folder, removed afterwards.
class ToolTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs `framedec args...` with the working folder as current directory. A fileSizeLimit above 0
    // caps every file the tool writes at that many bytes, as a full disk would: writes beyond it fail.
    ToolRun Run(const std::vector<std::string>& args, uint64_t fileSizeLimit = 0) const;

    // File names in UTF-8, as the tool takes them on its command line.
    std::filesystem::path Path(const std::string& name) const { return work_ / tools::PathFromUtf8(name); }
    std::set<std::string> Files() const;  // everything in the working folder, recursively
    void WriteFile(const std::string& name, const std::string& bytes) const;
    void WriteImage(const std::string& name, const tools::GreyImage& image) const;
    std::string ReadFile(const std::string& name) const;
    tools::GreyImage ReadImage(const std::string& name) const;

    std::filesystem::path root_, work_;
};

// A smooth 64 x 48 test picture (compresses well, so decodes stay close to it).
tools::GreyImage SmoothImage();

// A 16-bit PGM's samples (the tool's coefficient output); width and height from its header.
std::vector<uint16_t> ParsePgm16(const std::string& bytes, uint32_t& width, uint32_t& height);

}  // namespace framedec::testing
