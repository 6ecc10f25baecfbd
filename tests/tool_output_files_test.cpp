// The tool's files where Windows makes them hard: names beyond ASCII, as input and output (every
// file appears under exactly its name with the right bytes, the console names it correctly, no
// temporary file stays behind; the command line and every open go through UTF-16), and a target
// that another program holds open for a moment.
#include <chrono>
#include <memory>
#include <thread>

#include "process_support.h"
#include "tool_runner.h"

namespace framedec::testing {
namespace {

using ToolOutputFiles = ToolTest;

TEST_F(ToolOutputFiles, NamesBeyondAsciiInAndOut) {
    WriteImage("image.pgm", SmoothImage());
    ASSERT_EQ(Run({"synth", "image.pgm", "-o", "frame.bin"}).status, 0);
    ASSERT_EQ(Run({"decode", "frame.bin", "--height", "48", "-o", "pixels.pgm"}).status, 0);
    std::set<std::string> expected = {"image.pgm", "frame.bin", "pixels.pgm"};
    for (const std::string name : {"Preis€", "日本", "Łódź"}) {
        SCOPED_TRACE(name);
        WriteImage(name + ".pgm", SmoothImage());
        const ToolRun synth = Run({"synth", name + ".pgm", "-o", name + ".bin"});
        ASSERT_EQ(synth.status, 0) << synth.err;
        const ToolRun decode = Run({"decode", name + ".bin", "--height", "48", "-o", name + " pixels.pgm"});
        ASSERT_EQ(decode.status, 0) << decode.err;
        EXPECT_EQ(decode.out.rfind("wrote " + name + " pixels.pgm: ", 0), 0u) << decode.out;
        EXPECT_EQ(ReadFile(name + ".bin"), ReadFile("frame.bin"));
        EXPECT_EQ(ReadFile(name + " pixels.pgm"), ReadFile("pixels.pgm"));
        expected.insert({name + ".pgm", name + ".bin", name + " pixels.pgm"});
    }
    EXPECT_EQ(Files(), expected);
}

// A viewer or an indexer holding the old file: on Windows it cannot be replaced until they let go.
TEST_F(ToolOutputFiles, ATargetHeldOpenForAMomentIsStillReplaced) {
    WriteImage("image.pgm", SmoothImage());
    ASSERT_EQ(Run({"synth", "image.pgm", "-o", "frame.bin"}).status, 0);
    WriteFile("pixels.pgm", "the old file");
    auto holder = std::make_unique<FileHold>(Path("pixels.pgm"));
    ASSERT_TRUE(holder->Held());
    std::thread release([&holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        holder.reset();
    });
    const ToolRun decode = Run({"decode", "frame.bin", "--height", "48", "-o", "pixels.pgm"});
    release.join();
    ASSERT_EQ(decode.status, 0) << decode.err;
    EXPECT_EQ(ReadImage("pixels.pgm").height, 48u);
    EXPECT_EQ(Files(), (std::set<std::string>{"image.pgm", "frame.bin", "pixels.pgm"}));
}

}  // namespace
}  // namespace framedec::testing
