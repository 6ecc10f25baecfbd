#include "recording/recording.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "codec/frame_geometry.h"
#include "recording/positioned_read.h"
#include "synth/file_path.h"

namespace framedec::tools {

RecordingLayout LayoutOfRecording(uint64_t fileBytes, uint32_t frameHeight) {
    RecordingLayout layout;
    layout.frameBytes = FrameBytes(frameHeight);
    if (layout.frameBytes == 0) return layout;
    layout.frames = fileBytes / layout.frameBytes;
    layout.trailingBytes = fileBytes % layout.frameBytes;
    return layout;
}

std::vector<uint64_t> CheckedSteps(uint64_t frames) {
    std::vector<uint64_t> firsts;
    if (frames < 2) return firsts;
    const uint64_t steps = frames - 1;
    if (steps <= kCheckedSteps) {
        for (uint64_t i = 0; i < steps; ++i) firsts.push_back(i);
        return firsts;
    }
    // k x last / (kCheckedSteps - 1) for k = 0 .. kCheckedSteps - 1, from the first step to the last,
    // without overflowing for any file size.
    const uint64_t last = steps - 1, parts = kCheckedSteps - 1;
    for (uint64_t k = 0; k < kCheckedSteps; ++k) firsts.push_back(last / parts * k + last % parts * k / parts);
    return firsts;
}

namespace {

bool IsFrameHeight(uint32_t height) {
    return height >= kBlockSize && height <= kMaxImageHeight && height % kBlockSize == 0;
}

std::string HeightText(uint32_t height, const OptionNames& names) {
    return std::string(names.height) + std::string(names.valueSeparator) + std::to_string(height);
}

// "--height 8", "--height 8, 16 and 24".
std::string HeightsText(const std::vector<uint32_t>& heights, const OptionNames& names) {
    std::string text = std::string(names.height) + std::string(names.valueSeparator);
    for (std::size_t i = 0; i < heights.size(); ++i)
        text += (i == 0 ? "" : i + 1 == heights.size() ? " and " : ", ") + std::to_string(heights[i]);
    return text;
}

const char* FileKind(std::filesystem::file_type type) {
    switch (type) {
        case std::filesystem::file_type::directory: return "a folder";
        case std::filesystem::file_type::fifo: return "a pipe";
        case std::filesystem::file_type::character:
        case std::filesystem::file_type::block: return "a device";
        case std::filesystem::file_type::socket: return "a socket";
        default: return "not a regular file";
    }
}

}  // namespace

RecordingReader::~RecordingReader() {
    if (file_ != nullptr) std::fclose(file_);
}

RecordingProblem RecordingReader::Open(const std::string& path, const OpenOptions& options, std::string& error) {
    const std::string name = "recording '" + path + "'";
    // Frames are read by position, which a stream cannot give; a pipe would also block the open.
    if (path == "-") {
        error = name + " would be standard input: a recording must be a file (its frames are read by position)";
        return RecordingProblem::NotAFile;
    }
    std::error_code statusError;
    const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(path), statusError);
    if (statusError) {
        error = "cannot read " + name + ": " + statusError.message();
        return RecordingProblem::CannotRead;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = name + " is " + FileKind(status.type()) + ": a recording must be a file (its frames are read by position)";
        return RecordingProblem::NotAFile;
    }
    if (!OpenFile(path, error)) return RecordingProblem::CannotRead;
    const uint64_t bytes = fileBytes_;

    const OptionNames& names = options.names;
    if (bytes == 0) {
        error = name + " is empty: it holds no frame";
        return RecordingProblem::NoWholeFrame;
    }
    uint32_t height = options.height;
    if (height == 0 && bytes < FrameBytes(kBlockSize)) {
        error = name + " is " + std::to_string(bytes) + " bytes, less than one frame of any height (" +
                std::to_string(FrameBytes(kBlockSize)) + " bytes or more)";
        return RecordingProblem::NoWholeFrame;
    }
    if (height == 0) {
        std::vector<uint32_t> heights;
        if (!HeightsThatRun(heights, error)) return RecordingProblem::CannotRead;
        if (heights.size() != 1) {
            error.clear();
            if (bytes < 3 * FrameBytes(kBlockSize))
                error = name + " is too short to tell its frame height (fewer than three frames at every height)";
            else if (std::string reading; heights.empty() && ShortReading(reading, error))
                error = name + " is too short to tell its frame height: its sequence numbers run at no height that "
                               "gives three frames or more, and it may be " + reading;
            else if (!error.empty())
                return RecordingProblem::CannotRead;
            else if (heights.empty())
                error = name + ": its sequence numbers run at no frame height";
            else
                error = name + ": its sequence numbers run at more than one frame height (" +
                        HeightsText(heights, names) + ")";
            error += "; give " + std::string(names.height);
            if (heights.empty()) error += " (and " + std::string(names.force) + " if the camera's numbers do not count)";
            return RecordingProblem::HeightUnknown;
        }
        height = heights.front();
    } else if (!IsFrameHeight(height)) {
        error = "frame height " + std::to_string(height) + " is not a multiple of " + std::to_string(kBlockSize) +
                " from " + std::to_string(kBlockSize) + " to " + std::to_string(kMaxImageHeight);
        return RecordingProblem::HeightWrong;
    }

    const RecordingLayout layout = LayoutOfRecording(bytes, height);
    if (layout.frames == 0) {
        error = name + " is " + std::to_string(bytes) + " bytes, less than one frame of " + std::to_string(height) +
                " lines (" + std::to_string(layout.frameBytes) + " bytes): is " + std::string(names.height) +
                " right?";
        return RecordingProblem::NoWholeFrame;
    }
    if (options.check && options.height != 0) {
        SequenceRun run;
        if (!MeasureRun(height, false, run, error)) return RecordingProblem::CannotRead;
        if (!run.Runs()) {
            std::vector<uint32_t> heights;
            if (!HeightsThatRun(heights, error)) return RecordingProblem::CannotRead;
            error = name + ": the sequence numbers do not run at " + HeightText(height, names) + " (" +
                    std::to_string(run.ones) + " of " + std::to_string(run.steps) + " steps between frames are +1)";
            error += heights.empty() ? std::string("; they run at no height")
                                     : "; at " + HeightsText(heights, names) + " they do";
            error += " (" + std::string(names.force) + " reads it as asked)";
            return RecordingProblem::HeightWrong;
        }
    }
    height_ = height;
    layout_ = layout;
    return RecordingProblem::None;
}

bool RecordingReader::OpenFile(const std::string& path, std::string& error) {
    std::error_code sizeError;
    const std::uintmax_t bytes = std::filesystem::file_size(PathFromUtf8(path), sizeError);
    if (sizeError) {
        error = "cannot read recording '" + path + "': " + sizeError.message();
        return false;
    }
    std::FILE* file = OpenUtf8Path(path, "rb");
    if (file == nullptr) {
        error = "cannot open recording '" + path + "': " + std::strerror(errno);
        return false;
    }
    // Unbuffered: reads are either two bytes far apart or whole frames, neither helped by a buffer.
    std::setvbuf(file, nullptr, _IONBF, 0);
    if (file_ != nullptr) std::fclose(file_);
    file_ = file;
    path_ = path;
    fileBytes_ = bytes;
    height_ = 0;
    layout_ = {};
    return true;
}

bool RecordingReader::ReadNumber(uint64_t frame, uint64_t frameBytes, uint16_t& number, std::string& error) {
    uint8_t bytes[2];
    if (!ReadAt((frame + 1) * frameBytes - kSequenceNoFromEnd, bytes, sizeof bytes, error)) return false;
    number = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return true;
}

bool RecordingReader::MeasureRun(uint32_t height, bool stopWhenDecided, SequenceRun& run, std::string& error) {
    const uint64_t frameBytes = FrameBytes(height);
    const std::vector<uint64_t> steps = CheckedSteps(fileBytes_ / frameBytes);
    run = {};
    uint64_t read = UINT64_MAX;  // the frame whose number is in `number`
    uint16_t number = 0;
    for (const uint64_t first : steps) {
        uint16_t from = number, to = 0;
        if (first != read && !ReadNumber(first, frameBytes, from, error)) return false;
        if (!ReadNumber(first + 1, frameBytes, to, error)) return false;
        read = first + 1;
        number = to;
        ++run.steps;
        run.ones += static_cast<uint16_t>(to - from) == 1;
        // Half the steps +1 already, or more than half not: the steps left cannot change Runs(),
        // whose answer on the steps so far is then the one on all of them.
        const uint64_t others = run.steps - run.ones;
        if (stopWhenDecided && (2 * run.ones >= steps.size() || 2 * others > steps.size())) break;
    }
    return true;
}

bool RecordingReader::ShortReading(std::string& reading, std::string& error) {
    error.clear();
    reading.clear();
    if (fileBytes_ % FrameBytes(1) != 0) return false;
    const uint64_t lines = fileBytes_ / FrameBytes(1), half = lines / 2;
    if (lines % 2 == 0 && half <= kMaxImageHeight && half % kBlockSize == 0) {
        SequenceRun run;
        if (!MeasureRun(static_cast<uint32_t>(half), false, run, error)) return false;
        if (run.ones == 1) reading = "two frames of " + std::to_string(half) + " lines";
    }
    if (lines <= kMaxImageHeight && lines % kBlockSize == 0)
        reading += (reading.empty() ? "one frame of " : " or one of ") + std::to_string(lines) + " lines";
    return !reading.empty();
}

bool RecordingReader::HeightsThatRun(std::vector<uint32_t>& heights, std::string& error) {
    heights.clear();
    for (uint32_t height = kBlockSize; height <= kMaxImageHeight; height += kBlockSize) {
        // Fewer than three frames (one step) tell nothing: such a height is not even read.
        if (CheckedSteps(fileBytes_ / FrameBytes(height)).size() < 2) continue;
        SequenceRun run;
        if (!MeasureRun(height, true, run, error)) return false;
        if (run.Runs()) heights.push_back(height);
    }
    return true;
}

bool RecordingReader::CheckRange(uint64_t first, uint64_t count, std::string& error) const {
    if (file_ != nullptr && first <= layout_.frames && count <= layout_.frames - first) return true;
    error = "frames " + std::to_string(first) + " to " + std::to_string(first + count) + " are not in recording '" +
            path_ + "' (" + std::to_string(layout_.frames) + " frames)";
    return false;
}

bool RecordingReader::ReadAt(uint64_t offset, uint8_t* bytes, std::size_t size, std::string& error) {
    const ReadResult result = ReadAtOffset(file_, offset, bytes, size);
    if (result == ReadResult::Complete) return true;
    error = "cannot read recording '" + path_ + "': " +
            (result == ReadResult::Failed ? std::strerror(errno) : std::string("the file became shorter"));
    return false;
}

bool RecordingReader::Read(uint64_t first, uint64_t count, std::vector<uint8_t>& frames, std::string& error) {
    if (!CheckRange(first, count, error)) return false;
    frames.resize(count * layout_.frameBytes);
    return ReadAt(first * layout_.frameBytes, frames.data(), frames.size(), error);
}

bool RecordingReader::ReadInto(uint64_t first, uint64_t count, uint8_t* frames, std::string& error) {
    return CheckRange(first, count, error) &&
           ReadAt(first * layout_.frameBytes, frames, count * layout_.frameBytes, error);
}

bool RecordingReader::ReadSequenceNumbers(uint64_t first, uint64_t count, std::vector<uint16_t>& numbers,
                                          std::string& error) {
    if (!CheckRange(first, count, error)) return false;
    numbers.resize(count);
    for (uint64_t i = 0; i < count; ++i)
        if (!ReadNumber(first + i, layout_.frameBytes, numbers[i], error)) return false;
    return true;
}

}  // namespace framedec::tools
