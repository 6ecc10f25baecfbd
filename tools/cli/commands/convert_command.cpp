// framedec convert: the frames of a recording decoded in parallel and written in order to a TIFF
// stack or a PNG or PGM sequence.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/count_text.h"
#include "commands/exit_status.h"
#include "commands/progress_line.h"
#include "commands/table_option.h"
#include "decoding/decode_modes.h"
#include "decoding/frame_pipeline.h"
#include "decoding/recording_file.h"
#include "framedec.h"
#include "output/convert_output.h"
#include "output/frame_writer.h"
#include "output/page_plan.h"
#include "platform/console.h"
#include "platform/output_file.h"
#include "synth/file_path.h"

namespace framedec::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--height"}, {"--output", true, "-o"}, {"--frames"}, {"--mode"}, kTableOption, kQualityOption, {"--threads"},
    {"--deflate", false}, {"--no-predictor", false}, {"--force", false}, {"--fill-dropped", false},
    {"--fill-limit"}, {"--frame-interval"}, {"--fps"},
};

// The largest gap that --fill-dropped fills unless --fill-limit says more: a second of a fast
// camera's frames. A longer gap is more often a counter that jumped than frames lost, and its blank
// pages would outweigh the recording (1000 blank pages of 1024 lines are 1.3 GB).
constexpr uint32_t kDefaultFillLimit = 1000;

// Frames decode on plain threads of the tool (not the library's pool); each holds about two frames.
constexpr uint32_t kMaxConvertThreads = 64;

// The modes that give one 8-bit image per frame.
constexpr std::string_view kConvertModes[] = {"pixels", "dc"};

std::string HelpText() {
    return "usage: framedec convert RECORDING --height H|auto -o OUT [--frames A:B] [--mode pixels|dc]\n"
           "                        [--table FILE | --quality N] [--threads N] [--deflate [--no-predictor]]\n"
           "                        [--force] [--fill-dropped [--fill-limit N]]\n"
           "                        [--frame-interval SECONDS | --fps N]\n"
           "\n"
           "Decodes the frames of a recording (back-to-back frames of H lines, H x 320 bytes each; the\n"
           "bytes of a last frame cut short are skipped) and writes them in order:\n"
           "  OUT.tif or OUT.tiff          one multi-page 8-bit greyscale TIFF, a page per frame, that\n"
           "                               ImageJ, Fiji and napari open as a time series\n"
           "  frames/f%05d.png (or .pgm)   one file per frame, numbered by its index in the recording\n"
           "Each page or file carries its frame index and sequence number (TIFF page name, PNG comment,\n"
           "PGM comment). Frames are decoded one per thread. Dropped and repeated frames among those\n"
           "converted are summed up in one line on standard error; on a terminal, a progress line shows\n"
           "there too.\n"
           "\n"
           "  --height H       the frames' height in lines: a multiple of 8 from 8 to 1024, or auto for the\n"
           "                   height at which the sequence numbers run; a height at which they do not\n"
           "                   run is refused\n"
           "  --force          convert at the given height even so (a camera whose numbers do not count)\n"
           "  -o, --output OUT the TIFF (written whole or not at all) or the file name pattern\n"
           "  --frames A:B     only frames A to B - 1 (either may be left out: 10:, :100)\n"
           "  --mode M         pixels (default): the decoded frames (DecodeData), 1246 x H;\n"
           "                   dc: 1/8-scale previews from the DC codes (DecodeDCData), 156 x H/8\n"
           "  --table FILE     quantisation table: 64 integers in natural order, separated by white space\n"
           "  --quality N      the JPEG-style table of quality N (1 to 100); default: the default table\n"
           "  --threads N      frames decoded at once, 1 to " + std::to_string(kMaxConvertThreads) +
           " (default: the processor count, " + std::to_string(DefaultDecodeThreads()) + " here)\n"
           "  --deflate        compress the TIFF's pages (deflate, horizontal predictor); default uncompressed\n"
           "  --no-predictor   with --deflate: no predictor, for readers that do not undo it (ImageJ before\n"
           "                   1.53v); pages about 15% larger\n"
           "  --fill-dropped   a blank page (or file) labelled 'dropped sequence_number=N' for each dropped\n"
           "                   frame of a confirmed gap (see framedec scan --help), so that the page index\n"
           "                   (or file number) follows the camera's count\n"
           "  --fill-limit N   the largest gap filled (default " + std::to_string(kDefaultFillLimit) +
           "); a larger one is refused before anything\n"
           "                   is written\n"
           "  --frame-interval SECONDS, --fps N\n"
           "                   the time from one frame to the next, for the TIFF's time axis\n";
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

// A positive, finite decimal number.
bool ParsePositive(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, value);
    return !text.empty() && status == std::errc() && stop == end && std::isfinite(value) && value > 0;
}

// --frame-interval SECONDS or --fps N: seconds from one frame to the next; 0 when neither is given.
bool FrameIntervalOption(const Arguments& parsed, double& interval, std::string& error) {
    interval = 0;
    if (parsed.Has("--frame-interval") && parsed.Has("--fps")) {
        error = "--frame-interval and --fps both given (one says the other)";
        return false;
    }
    for (const char* name : {"--frame-interval", "--fps"}) {
        if (!parsed.Has(name)) continue;
        double value = 0;
        if (!ParsePositive(parsed.Value(name), value)) {
            error = std::string(name) + " must be a number above 0, got '" + parsed.Value(name) + "'";
            return false;
        }
        interval = std::string_view(name) == "--fps" ? 1 / value : value;
        if (!std::isfinite(interval) || interval <= 0) {  // 1 / 5e-324 is infinite
            error = std::string(name) + " " + parsed.Value(name) + " gives no finite frame interval";
            return false;
        }
    }
    return true;
}

// One line on standard error when frames were dropped, repeated or the counter reset among those
// converted: their page (or file) index no longer follows the camera's count (unless blanks fill the
// gaps).
void ReportDrops(const std::string& path, uint64_t first, const tools::SequenceTracker& tracker, bool filled,
                 const char* unit) {
    const uint64_t dropped = tracker.droppedFrames(), repeated = tracker.repeated().size();
    const uint64_t resets = tracker.resets().size();
    if (dropped == 0 && repeated == 0 && resets == 0) return;
    std::string line = "framedec convert: frames " + std::to_string(first) + " to " +
                       std::to_string(first + tracker.frames() - 1) + " of " + path + ": " +
                       std::to_string(dropped) + " dropped in " + CountText(tracker.dropped().size(), "gap") +
                       ", " + std::to_string(repeated) + " repeated or out of order";
    if (resets > 0) line += ", " + CountText(resets, "counter reset");
    if (dropped > 0)
        line += filled ? std::string("; a blank ") + unit + " in each dropped frame's place"
                       : std::string("; ") + unit + "s after a gap are not the camera's count (--fill-dropped puts a "
                         "blank " + unit + " in each dropped frame's place)";
    std::fprintf(stderr, "%s\n", line.c_str());
}

// With --fill-dropped: refuses a gap larger than the limit, naming it.
bool CheckFillLimit(const tools::SequenceTracker& tracker, uint64_t first, uint32_t limit, std::string& error) {
    for (const tools::DroppedRun& run : tracker.dropped()) {
        if (run.count <= limit) continue;
        error = "--fill-dropped: " + std::to_string(run.count) + " frames dropped before frame " +
                std::to_string(first + run.index) + " (sequence numbers after " + std::to_string(run.after) +
                ") are more than --fill-limit " + std::to_string(limit) + " (raise it to fill that gap)";
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
    uint32_t height = 0, threads = DefaultDecodeThreads(), fillLimit = kDefaultFillLimit;
    double frameInterval = 0;
    if (!ParseArguments(args, kOptions, parsed, error) || !CheckPositionals(parsed, kPositionals, error) ||
        !RecordingHeightOption(parsed, height, error) || !OutputOption(parsed, output, error) ||
        !UnsignedOption(parsed, "--threads", 1, kMaxConvertThreads, threads, error) ||
        !UnsignedOption(parsed, "--fill-limit", 0, UINT32_MAX, fillLimit, error) ||
        !FrameIntervalOption(parsed, frameInterval, error))
        return Fail(kName, kExitUsage, error);
    const std::string modeName = parsed.Has("--mode") ? parsed.Value("--mode") : "pixels";
    if (std::find(std::begin(kConvertModes), std::end(kConvertModes), modeName) == std::end(kConvertModes))
        return Fail(kName, kExitUsage, "unknown --mode '" + modeName + "' (one of pixels|dc)");
    const DecodeMode& mode = *FindDecodeMode(modeName);
    OutputTarget target;
    if (!ChooseOutputTarget(output, target, error)) return Fail(kName, kExitUsage, error);
    for (const auto& [option, needs] : {std::pair{"--no-predictor", "--deflate"}, {"--fill-limit", "--fill-dropped"}})
        if (parsed.Has(option) && !parsed.Has(needs))
            return Fail(kName, kExitUsage, std::string(option) + " applies only with " + needs);
    for (const char* tiffOnly : {"--deflate", "--frame-interval", "--fps"})
        if (parsed.Has(tiffOnly) && target.format != OutputFormat::Tiff)
            return Fail(kName, kExitUsage,
                        std::string(tiffOnly) + " applies to TIFF output, not " + FormatName(target.format));
    TableChoice table;
    if (const int status = ChooseTable(parsed, table, error); status != kExitSuccess) return Fail(kName, status, error);

    const std::string& path = parsed.positionals[0];
    tools::RecordingReader reader;
    if (!OpenRecording(path, height, parsed.Has("--force"), reader, error)) return Fail(kName, kExitFailure, error);
    height = reader.height();
    const tools::RecordingLayout layout = reader.layout();
    FrameRange range;
    bool outside = false;
    if (!ParseFrameRange(parsed, layout.frames, range, outside, error))
        return Fail(kName, outside ? kExitFailure : kExitUsage, error);

    const uint64_t frames = range.end - range.first;
    std::vector<uint16_t> numbers;
    if (!reader.ReadSequenceNumbers(range.first, frames, numbers, error)) return Fail(kName, kExitFailure, error);
    const tools::SequenceTracker tracker = tools::TrackSequence(numbers);
    const bool fill = parsed.Has("--fill-dropped");
    if (fill && !CheckFillLimit(tracker, range.first, fillLimit, error)) return Fail(kName, kExitFailure, error);
    const PagePlan plan(numbers, tracker, fill);
    const uint64_t count = plan.pages();
    std::vector<std::string> inputs = {path};
    if (parsed.Has("--table")) inputs.push_back(parsed.Value("--table"));
    if (const auto [name, input] = NameThatIsAnInput(target, range.first, count, inputs); !name.empty())
        return Fail(kName, kExitFailure, "'" + name + "' is the input " + input + " itself: choose another output name");

    const Rect whole = mode.wholeFrame(height);
    CatchInterrupts();  // from before the first output file on, so that Ctrl-C leaves none half-written
    RemoveStaleTemporaries(tools::Utf8FromPath(tools::PathFromUtf8(target.path).parent_path()));
    const WriterOptions options{count, whole.width, whole.height, parsed.Has("--deflate"),
                                !parsed.Has("--no-predictor"), frameInterval};
    std::unique_ptr<FrameWriter> writer = OpenFrameWriter(target, options, error);
    if (!writer) return Fail(kName, kExitFailure, error);

    std::mutex readerLock;
    const FrameStep decode = [&](uint64_t i, ConvertedFrame& frame, std::string& failure) {
        const PageContent page = plan.At(i);
        frame.number = range.first + i;
        frame.sequenceNo = page.sequenceNo;
        if (page.dropped) {
            frame.dropped = true;
            frame.image = {whole.width, whole.height, std::vector<uint8_t>(std::size_t{whole.width} * whole.height), {}};
            return writer->Encode(frame, failure);
        }
        std::vector<uint8_t> bytes;
        {
            const std::lock_guard lock(readerLock);
            if (!reader.Read(range.first + page.frame, 1, bytes, failure)) return false;
        }
        frame.index = range.first + page.frame;
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

    ReportDrops(path, range.first, tracker, fill, target.format == OutputFormat::Tiff ? "page" : "file");
    const double seconds = progress.Seconds();
    std::printf("%s (frames %llu to %llu, %s, %s)\n", writer->Summary().c_str(),
                static_cast<unsigned long long>(range.first), static_cast<unsigned long long>(range.end - 1),
                mode.name == "dc" ? "1/8-scale previews" : "pixels",
                CountText(std::min<uint64_t>(threads, count), "thread").c_str());
    std::printf("%.2f s, %.1f frames/s\n", seconds, seconds > 0 ? frames / seconds : 0.0);
    if (layout.trailingBytes > 0)
        std::printf("skipped %llu trailing bytes of a last frame cut short\n",
                    static_cast<unsigned long long>(layout.trailingBytes));
    return kExitSuccess;
}

}  // namespace framedec::cli
