// File names beyond ASCII, as the tool's input and output: every file appears under exactly its
// name with the right bytes, the tool names it correctly on the console, and no temporary file
// stays behind. (On Windows the command line and every open go through UTF-16.)
#include "tool_runner.h"

namespace framedec::testing {
namespace {

using ToolFileNames = ToolTest;

TEST_F(ToolFileNames, NamesBeyondAsciiInAndOut) {
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

}  // namespace
}  // namespace framedec::testing
