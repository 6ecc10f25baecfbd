// framedec convert: the frames of a recording decoded in parallel and written in order to a TIFF
// stack or a PNG or PGM sequence.
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "arguments.h"
#include "commands.h"
#include "console.h"
#include "convert_output.h"
#include "decode_modes.h"
#include "exit_status.h"
#include "frame_pipeline.h"
#include "frame_writer.h"
#include "progress_line.h"
#include "recording_file.h"
#include "table_option.h"
#include "framedec.h"

namespace framedec::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--height"}, {"--output", true, "-o"}, {"--frames"}, {"--mode"}, kTableOption, kQualityOption, {"--threads"},
    {"--deflate", false},
};

// Frames decode on plain threads of the tool (not the library's pool); each holds about two frames.
constexpr uint32_t kMaxConvertThreads = 64;

// The modes that give one 8-bit image per frame.
constexpr std::string_view kConvertModes[] = {"pixels", "dc"};

std::string HelpText() {
    return "usage: framedec convert RECORDING --height H -o OUT [--frames A:B] [--mode pixels|dc]\n"
           "                        [--table FILE | --quality N] [--threads N] [--deflate]\n"
           "\n"
           "Decodes the frames of a recording (back-to-back frames of H lines, H x 320 bytes each; the\n"
           "bytes of a last frame cut short are skipped) and writes them in order:\n"
           "  OUT.tif or OUT.tiff          one multi-page 8-bit greyscale TIFF, a page per frame\n"
           "  frames/f%05d.png (or .pgm)   one file per frame, numbered by its index in the recording\n"
           "Each page or file carries its frame index and sequence number (TIFF page name, PNG comment,\n"
           "PGM comment). Frames are decoded one per thread. On a terminal, a progress line shows on\n"
           "standard error.\n"
           "\n"
           "  --height H       the frames' height in lines: a multiple of 8 from 8 to 1024\n"
           "  -o, --output OUT the TIFF (written whole or not at all) or the file name pattern\n"
           "  --frames A:B     only frames A to B - 1 (either may be left out: 10:, :100)\n"
           "  --mode M         pixels (default): the decoded frames (DecodeData), 1246 x H;\n"
           "                   dc: 1/8-scale previews from the DC codes (DecodeDCData), 156 x H/8\n"
           "  --table FILE     quantisation table: 64 integers in natural order, separated by white space\n"
           "  --quality N      the JPEG-style table of quality N (1 to 100); default: the default table\n"
           "  --threads N      frames decoded at once, 1 to " + std::to_string(kMaxConvertThreads) +
           " (default: the processor count, " + std::to_string(DefaultDecodeThreads()) + " here)\n"
           "  --deflate        compress the TIFF's pages (deflate); default uncompressed\n";
}

struct FrameRange {
    uint64_t first = 0, end = 0;  // half-open
};

// --frames A:B, either side optional; B defaults to frames. Usage errors for malformed text;
// false with outside set for a range the recording does not hold.
bool ParseFrameRange(const Arguments& parsed, uint64_t frames, FrameRange& range, bool& outside, std::string& error) {
    outside = false;
    range = {0, frames};
    if (!parsed.Has("--frames")) return true;
    const std::string& text = parsed.Value("--frames");
    const std::size_t colon = text.find(':');
    const std::string_view first = std::string_view(text).substr(0, colon);
    const std::string_view end =
        colon == std::string::npos ? std::string_view() : std::string_view(text).substr(colon + 1);
    if (colon == std::string::npos || (!first.empty() && !ParseUnsigned(first, 0, UINT64_MAX, range.first)) ||
        (!end.empty() && !ParseUnsigned(end, 0, UINT64_MAX, range.end))) {
        error = "--frames must be A:B (frames A to B - 1; A or B may be left out), got '" + text + "'";
        return false;
    }
    if (!end.empty() && range.end <= range.first) {
        error = "--frames " + text + " selects no frame (B must be above A)";
        return false;
    }
    if (range.first >= frames || range.end > frames) {
        outside = true;
        error = "--frames " + text + " reaches past the end of the recording (" + std::to_string(frames) +
                " frames: 0 to " + std::to_string(frames - 1) + ")";
        return false;
    }
    return true;
}

}  // namespace

int RunConvert(const std::vector<std::string>& args) {
    constexpr const char* kName = "convert";
    if (WantsHelp(args)) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitSuccess;
    }
    Arguments parsed;
    std::string error, output;
    constexpr std::string_view kPositionals[] = {"RECORDING (the file of frames)"};
    uint32_t height = 0, threads = DefaultDecodeThreads();
    if (!ParseArguments(args, kOptions, parsed, error) || !CheckPositionals(parsed, kPositionals, error) ||
        !FrameHeightOption(parsed, true, height, error) || !OutputOption(parsed, output, error) ||
        !UnsignedOption(parsed, "--threads", 1, kMaxConvertThreads, threads, error))
        return Fail(kName, kExitUsage, error);
    const std::string modeName = parsed.Has("--mode") ? parsed.Value("--mode") : "pixels";
    if (std::find(std::begin(kConvertModes), std::end(kConvertModes), modeName) == std::end(kConvertModes))
        return Fail(kName, kExitUsage, "unknown --mode '" + modeName + "' (one of pixels|dc)");
    const DecodeMode& mode = *FindDecodeMode(modeName);
    OutputTarget target;
    if (!ChooseOutputTarget(output, target, error)) return Fail(kName, kExitUsage, error);
    if (parsed.Has("--deflate") && target.format != OutputFormat::Tiff)
        return Fail(kName, kExitUsage,
                    std::string("--deflate applies to TIFF output, not ") + FormatName(target.format));
    TableChoice table;
    if (const int status = ChooseTable(parsed, table, error); status != kExitSuccess) return Fail(kName, status, error);

    const std::string& path = parsed.positionals[0];
    tools::RecordingReader reader;
    if (!OpenRecording(path, height, reader, error)) return Fail(kName, kExitFailure, error);
    const tools::RecordingLayout layout = reader.layout();
    if (layout.frames == 0) return Fail(kName, kExitFailure, "recording '" + path + "' holds no frame");
    FrameRange range;
    bool outside = false;
    if (!ParseFrameRange(parsed, layout.frames, range, outside, error))
        return Fail(kName, outside ? kExitFailure : kExitUsage, error);

    const Rect whole = mode.wholeFrame(height);
    const uint64_t count = range.end - range.first;
    CatchInterrupts();  // from before the first output file on, so that Ctrl-C leaves none half-written
    std::unique_ptr<FrameWriter> writer =
        OpenFrameWriter(target, {count, whole.width, whole.height, parsed.Has("--deflate")}, error);
    if (!writer) return Fail(kName, kExitFailure, error);

    std::mutex readerLock;
    const FrameStep decode = [&](uint64_t i, ConvertedFrame& frame, std::string& failure) {
        std::vector<uint8_t> bytes;
        {
            const std::lock_guard lock(readerLock);
            if (!reader.Read(range.first + i, 1, bytes, failure)) return false;
        }
        frame.index = range.first + i;
        if (const int32_t result = ExtractSequenceNo(bytes.data(), 0, height, &frame.sequenceNo);
            result != FRAMEDEC_OK) {
            failure = "the library could not read the sequence number of frame " + std::to_string(frame.index) +
                      " (result code " + std::to_string(result) + ")";
            return false;
        }
        if (const int32_t result = mode.decode({bytes.data(), height, table.table.data(), whole, 1}, frame.image);
            result != FRAMEDEC_OK) {
            failure = "the library's " + modeName + " decode of frame " + std::to_string(frame.index) +
                      " failed (result code " + std::to_string(result) + ")";
            return false;
        }
        return writer->Encode(frame, failure);
    };
    ProgressLine progress(count, StandardErrorIsTerminal());
    const FrameStep write = [&](uint64_t i, ConvertedFrame& frame, std::string& failure) {
        if (Interrupted()) {
            failure = "interrupted after " + std::to_string(i) + " of " + std::to_string(count) + " frames";
            return false;
        }
        if (!writer->Write(frame, failure)) return false;
        progress.Update(i + 1);
        return true;
    };
    const bool converted = RunInOrder(count, threads, decode, write, error) && writer->Finish(error);
    progress.Clear();
    if (!converted) {
        // An unfinished TIFF is removed with its writer; a sequence keeps the files it wrote.
        if (const std::string kept = writer->Kept(); !kept.empty()) error += "; " + kept;
        writer.reset();
        return Fail(kName, kExitFailure, error);
    }

    const double seconds = progress.Seconds();
    std::printf("%s (frames %llu to %llu, %s, %u threads)\n", writer->Summary().c_str(),
                static_cast<unsigned long long>(range.first), static_cast<unsigned long long>(range.end - 1),
                mode.name == "dc" ? "1/8-scale previews" : "pixels",
                static_cast<unsigned>(std::min<uint64_t>(threads, count)));
    std::printf("%.2f s, %.1f frames/s\n", seconds, seconds > 0 ? count / seconds : 0.0);
    if (layout.trailingBytes > 0)
        std::printf("skipped %llu trailing bytes of a last frame cut short\n",
                    static_cast<unsigned long long>(layout.trailingBytes));
    return kExitSuccess;
}

}  // namespace framedec::cli
