// Every way a framedec command can go wrong: one line on standard error naming the problem and the
// value, exit status 2 for a wrong command line and 1 for everything else, and no file written.
#include "codec/frame_geometry.h"
#include "synth/frame_synth.h"
#include "tool_runner.h"

namespace framedec::testing {
namespace {

struct ErrorCase {
    std::vector<std::string> args;
    int status;
    std::string message;  // must appear in the error line
};

std::ostream& operator<<(std::ostream& os, const ErrorCase& c) {
    os << "framedec";
    for (const auto& a : c.args) os << ' ' << a;
    return os;
}

const std::string kTable63 = [] {
    std::string text;
    for (int i = 0; i < 63; ++i) text += "16 ";
    return text;
}();

class ToolErrors : public ToolTest, public ::testing::WithParamInterface<ErrorCase> {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        WriteImage("image.pgm", SmoothImage());
        const std::vector<uint8_t> frame = tools::SynthesizeFrame(SmoothImage(), {});
        WriteFile("frame.bin", std::string(frame.begin(), frame.end()));  // 48 lines
        WriteFile("rec.bin", std::string(frame.begin(), frame.end()) + std::string(frame.begin(), frame.end()) +
                                 std::string(100, '\0'));  // 2 frames and a partial third
        std::filesystem::create_directory(Path("folder.tif"));
        WriteFile("short.bin", std::string(1000, '\0'));
        WriteFile("empty.bin", "");
        WriteFile("deep.pgm", "P5\n2 2\n65535\n" + std::string(8, '\x10'));
        WriteFile("colour.ppm", "P6\n2 2\n255\n" + std::string(12, '\x10'));
        WriteFile("table63.txt", kTable63);
        WriteFile("table-bad.txt", "16 11 10 16 x12 " + kTable63);
        std::filesystem::create_directory(Path("folder"));
    }
};

TEST_P(ToolErrors, OneLineExitStatusAndNoOutput) {
    const ErrorCase& c = GetParam();
    const std::set<std::string> before = Files();
    const ToolRun run = Run(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.err.rfind("framedec", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "more than one line: " << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Files(), before);
}

const std::vector<std::string> kSynth = {"synth", "image.pgm", "-o", "out.bin"};
const std::vector<std::string> kDecode = {"decode", "frame.bin", "--height", "48", "-o", "out.pgm"};
const std::vector<std::string> kConvert = {"convert", "rec.bin", "--height", "48"};

// A build without libtiff refuses every TIFF output with the same line.
std::string IfTiff(const std::string& message) {
    return FRAMEDEC_TOOL_TIFF ? message : "this build of framedec has no TIFF support";
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

INSTANTIATE_TEST_SUITE_P(Usage, ToolErrors, ::testing::Values(
    ErrorCase{{}, 2, "missing command"},
    ErrorCase{{"frob"}, 2, "unknown command 'frob'"},
    ErrorCase{{"synth", "-o", "out.bin"}, 2, "missing IMAGE.pgm"},
    ErrorCase{{"info", "frame.bin", "--height", "48", "extra"}, 2, "unexpected argument 'extra'"},
    ErrorCase{{"synth", "image.pgm"}, 2, "missing -o"},
    ErrorCase{{"synth", "image.pgm", "-o"}, 2, "option -o needs a value"},
    ErrorCase{With(kSynth, {"--bogus"}), 2, "unknown option '--bogus'"},
    ErrorCase{With(kSynth, {"--seq", "70000"}), 2, "--seq must be an integer from 0 to 65535, got '70000'"},
    ErrorCase{With(kSynth, {"--seq=5", "--seq", "6"}), 2, "option --seq given twice"},
    ErrorCase{With(kSynth, {"--quality", "0"}), 2, "--quality must be an integer from 1 to 100, got '0'"},
    ErrorCase{With(kSynth, {"--quality", "high"}), 2, "got 'high'"},
    ErrorCase{With(kSynth, {"--table", "table63.txt", "--quality", "50"}), 2, "--table and --quality both given"},
    ErrorCase{With(kSynth, {"--height", "12"}), 2, "--height must be a multiple of 8 from 8 to 1024, got '12'"},
    ErrorCase{{"decode", "frame.bin", "-o", "out.pgm"}, 2, "missing --height"},
    ErrorCase{{"decode", "frame.bin", "--height", "1032", "-o", "out.pgm"}, 2, "got '1032'"},
    ErrorCase{With(kDecode, {"--mode", "bogus"}), 2, "unknown --mode 'bogus' (one of pixels|mt|dct|dc|gpu)"},
    ErrorCase{With(kDecode, {"--mode", "gpu", "--rect", "0,0,8,8"}), 2, "--rect does not apply to --mode gpu"},
    ErrorCase{With(kDecode, {"--mode", "gpu", "--quality", "50"}), 2,
              "--table and --quality do not apply to --mode gpu (it decodes with its own table)"},
    ErrorCase{With(kDecode, {"--rect", "1,2,3"}), 2, "--rect must be X,Y,W,H (four integers), got '1,2,3'"},
    ErrorCase{With(kDecode, {"--rect", "0,0,-8,8"}), 2, "got '0,0,-8,8'"},
    ErrorCase{With(kDecode, {"--raw"}), 2, "--raw does not apply to --mode pixels"},
    ErrorCase{With(kDecode, {"--threads", "4"}), 2, "--threads does not apply to --mode pixels"},
    ErrorCase{With(kDecode, {"--mode", "mt", "--threads", "0"}), 2, "--threads must be an integer from 1 to 32, got '0'"},
    ErrorCase{With(kDecode, {"--mode", "mt", "--threads", "33"}), 2, "got '33'"},
    ErrorCase{{"info", "frame.bin"}, 2, "missing --height"},
    ErrorCase{{"demo", "--runs", "0"}, 2, "--runs must be an integer from 1 to 1000, got '0'"},
    ErrorCase{{"demo", "extra"}, 2, "unexpected argument 'extra'"},
    ErrorCase{With(kSynth, {"--drop", "0-65535"}), 2, "--drop '0-65535' leaves no sequence number to use"},
    ErrorCase{With(kSynth, {"--drop", "5,9-7"}), 2, "'9-7' in '5,9-7' is neither"},
    ErrorCase{With(kSynth, {"--drop", "1,,2"}), 2, "'' in '1,,2' is neither"},
    ErrorCase{With(kSynth, {"--count", "0"}), 2, "--count must be an integer from 1 to 10000000, got '0'"},
    ErrorCase{{"scan", "rec.bin"}, 2, "missing --height"},
    ErrorCase{{"scan", "rec.bin", "--height", "a"}, 2, "--height must be a multiple of 8 from 8 to 1024 or auto, got 'a'"},
    ErrorCase{{"scan", "rec.bin", "--height", "48", "--json", "--csv"}, 2, "--json and --csv both given"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--fps", "0"}), 2, "--fps must be a number above 0, got '0'"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--frame-interval", "1e999"}), 2, "got '1e999'"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--fps", "5e-324"}), 2, "--fps 5e-324 gives no finite frame interval"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--no-predictor"}), 2, "--no-predictor applies only with --deflate"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--fill-limit", "5"}), 2, "--fill-limit applies only with --fill-dropped"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--fps", "5", "--frame-interval", "0.2"}), 2,
              "--frame-interval and --fps both given"},
    ErrorCase{With(kConvert, {"-o", "f%d.png", "--fps", "5"}), 2, "--fps applies to TIFF output, not PNG"},
    ErrorCase{{"convert", "rec.bin", "--height", "48"}, 2, "missing -o"},
    ErrorCase{With(kConvert, {"-o", "out.bin"}), 2, "cannot tell the output format of 'out.bin'"},
    ErrorCase{With(kConvert, {"-o", "out.png"}), 2, "'out.png' needs a frame number such as %05d"},
    ErrorCase{With(kConvert, {"-o", "f%05x.PGM"}), 2, "'%05x' in 'f%05x.PGM' is not a frame number"},
    ErrorCase{With(kConvert, {"-o", "f%d-%d.png"}), 2, "'f%d-%d.png' holds more than one frame number"},
    ErrorCase{With(kConvert, {"-o", "f%04d.tif"}), 2, "but a TIFF stack holds all frames in one file"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--mode", "mt"}), 2, "unknown --mode 'mt' (one of pixels|dc)"},
    ErrorCase{With(kConvert, {"-o", "f%d.pgm", "--deflate"}), 2, "--deflate applies to TIFF output, not PGM"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--frames", "1"}), 2, "--frames must be A:B"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--frames", "1:1"}), 2, "--frames 1:1 selects no frame"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--threads", "65"}), 2, "--threads must be an integer from 1 to 64"}));

INSTANTIATE_TEST_SUITE_P(Failure, ToolErrors, ::testing::Values(
    ErrorCase{{"synth", "missing.pgm", "-o", "out.bin"}, 1, "cannot open image 'missing.pgm': No such file"},
    ErrorCase{{"synth", "folder", "-o", "out.bin"}, 1, "cannot read image 'folder': Is a directory"},
    ErrorCase{{"synth", "deep.pgm", "-o", "out.bin"}, 1, "'deep.pgm': PGM is not 8-bit greyscale (maximum value 65535)"},
    ErrorCase{{"synth", "colour.ppm", "-o", "out.bin"}, 1, "not a binary greyscale PGM (expected magic P5, found 'P6')"},
    ErrorCase{With(kSynth, {"--table", "missing.txt"}), 1, "cannot open table file 'missing.txt'"},
    ErrorCase{With(kSynth, {"--table", "table63.txt"}), 1, "table file 'table63.txt' holds 63 integers, expected 64"},
    ErrorCase{With(kSynth, {"--table", "table-bad.txt"}), 1, "entry 5 is 'x12', not an integer from 0 to 65535"},
    ErrorCase{{"synth", "image.pgm", "-o", "nowhere/out.bin"}, 1, "cannot write 'nowhere/out.bin': No such file"},
    ErrorCase{{"decode", "missing.bin", "--height", "48", "-o", "out.pgm"}, 1, "cannot open frame file 'missing.bin'"},
    ErrorCase{{"decode", "short.bin", "--height", "48", "-o", "out.pgm"}, 1,
              "frame file 'short.bin' is 1000 bytes, not 48 x 320 = 15360"},
    ErrorCase{{"decode", "frame.bin", "--height", "56", "-o", "out.pgm"}, 1,
              "is 15360 bytes, not 56 x 320 = 17920 (it would fit --height 48)"},
    ErrorCase{With(kDecode, {"--rect", "4,0,8,8"}), 1, "the library refused the rectangle 4,0,8,8 (result code 5)"},
    ErrorCase{With(kDecode, {"--rect", "0,0,0,8"}), 1, "the library refused the rectangle 0,0,0,8 (result code 5)"},
    ErrorCase{With(kDecode, {"--mode", "dct", "--rect", "8,0,1248,8"}), 1,
              "the library refused the rectangle 8,0,1248,8 (result code 5)"},
    ErrorCase{With(kDecode, {"--rect", "0,40,8,16"}), 1, "rectangle 0,40,8,16 ends at 56 lines, past the frame's 48"},
    ErrorCase{With(kDecode, {"--mode", "dc", "--rect", "0,0,8,7"}), 1, "ends at 7 block rows, past the frame's 6"},
    ErrorCase{With(kDecode, {"--rect", "0,0,4000000000,8"}), 1, "is wider than a frame (1280 pixels)"},
    ErrorCase{{"decode", "frame.bin", "--height", "48", "-o", "folder"}, 1, "cannot write 'folder': Is a directory"},
    ErrorCase{{"info", "short.bin", "--height", "48"}, 1, "frame file 'short.bin' is 1000 bytes"},
    ErrorCase{{"demo", "--image", "missing.pgm", "-o", "demo"}, 1, "cannot open image 'missing.pgm'"},
    ErrorCase{{"demo", "--image", "image.pgm", "-o", "image.pgm/demo"}, 1, "cannot create folder"},
    ErrorCase{{"synth", "image.pgm", "missing.pgm", "-o", "rec2.bin"}, 1, "cannot open image 'missing.pgm'"},
    ErrorCase{{"scan", "missing.bin", "--height", "48"}, 1, "cannot read recording 'missing.bin'"},
    ErrorCase{{"scan", "folder", "--height", "48"}, 1, "recording 'folder'"},
    ErrorCase{{"scan", "-", "--height", "48"}, 1, "recording '-' would be standard input: a recording must be a file"},
    ErrorCase{{"convert", "folder", "--height", "auto", "-o", "f%d.pgm"}, 1, "recording 'folder' is a folder"},
    ErrorCase{{"info", "-", "--height", "48"}, 1, "frame file '-' would be standard input"},
    ErrorCase{{"scan", "empty.bin", "--height", "48"}, 1, "recording 'empty.bin' is empty: it holds no frame"},
    ErrorCase{{"scan", "empty.bin", "--height", "auto"}, 1, "recording 'empty.bin' is empty"},
    ErrorCase{{"convert", "empty.bin", "--height", "48", "-o", "f%d.pgm"}, 1, "recording 'empty.bin' is empty"},
    ErrorCase{{"info", "empty.bin", "--height", "48"}, 1, "frame file 'empty.bin' is 0 bytes, not 48 x 320"},
    ErrorCase{{"decode", "empty.bin", "--height", "48", "-o", "out.pgm"}, 1, "frame file 'empty.bin' is 0 bytes"},
    ErrorCase{{"scan", "short.bin", "--height", "auto"}, 1, "is 1000 bytes, less than one frame of any height"},
    ErrorCase{{"scan", "frame.bin", "--height", "56"}, 1,
              "recording 'frame.bin' is 15360 bytes, less than one frame of 56 lines (17920 bytes)"},
    ErrorCase{{"convert", "short.bin", "--height", "48", "-o", "f%d.pgm"}, 1, "less than one frame of 48 lines"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--frames", "1:3"}), 1,
              "--frames 1:3 reaches past the end of the recording (2 frames: 0 to 1)"},
    ErrorCase{With(kConvert, {"-o", "out.tif", "--frames", "2:"}), 1, "--frames 2: reaches past the end"},
    ErrorCase{With(kConvert, {"-o", "nowhere/out.tif"}), 1, IfTiff("cannot write 'nowhere/out.tif': No such file")},
    ErrorCase{With(kConvert, {"-o", "folder.tif"}), 1, IfTiff("cannot write 'folder.tif': Is a directory")},
    ErrorCase{With(kConvert, {"-o", "nowhere/f%d.pgm"}), 1,
              "cannot write 'nowhere/f0.pgm': No such file or directory; no file written"}));

}  // namespace
}  // namespace framedec::testing
