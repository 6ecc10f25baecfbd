#include "recording/recording.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "codec/frame_geometry.h"

namespace framedec::tools {

RecordingLayout LayoutOfRecording(uint64_t fileBytes, uint32_t frameHeight) {
    RecordingLayout layout;
    layout.frameBytes = FrameBytes(frameHeight);
    if (layout.frameBytes == 0) return layout;
    layout.frames = fileBytes / layout.frameBytes;
    layout.trailingBytes = fileBytes % layout.frameBytes;
    return layout;
}

void SequenceTracker::Add(uint16_t sequenceNo) {
    if (frames_ > 0) {
        const uint16_t step = static_cast<uint16_t>(sequenceNo - last_);
        if (step == 0 || step > 32768) {
            repeated_.push_back(frames_);
        } else if (step > 1) {
            dropped_.push_back({frames_, static_cast<uint32_t>(step - 1)});
        }
    }
    last_ = sequenceNo;
    ++frames_;
}

uint64_t SequenceTracker::droppedFrames() const {
    uint64_t total = 0;
    for (const DroppedRun& run : dropped_) total += run.count;
    return total;
}

RecordingReader::~RecordingReader() {
    if (file_ != nullptr) std::fclose(file_);
}

bool RecordingReader::Open(const std::string& path, uint32_t frameHeight, std::string& error) {
    std::error_code sizeError;
    const std::uintmax_t bytes = std::filesystem::file_size(std::filesystem::path(path), sizeError);
    if (sizeError) {
        error = "cannot read recording '" + path + "': " + sizeError.message();
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open recording '" + path + "': " + std::strerror(errno);
        return false;
    }
    if (file_ != nullptr) std::fclose(file_);
    file_ = file;
    path_ = path;
    layout_ = LayoutOfRecording(bytes, frameHeight);
    return true;
}

namespace {

// Seeks with 64-bit offsets on every platform (long is 32 bits on Windows).
bool SeekTo(std::FILE* file, uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

bool RecordingReader::CheckRange(uint64_t first, uint64_t count, std::string& error) const {
    if (file_ != nullptr && first <= layout_.frames && count <= layout_.frames - first) return true;
    error = "frames " + std::to_string(first) + " to " + std::to_string(first + count) + " are not in recording '" +
            path_ + "' (" + std::to_string(layout_.frames) + " frames)";
    return false;
}

bool RecordingReader::ReadAt(uint64_t offset, uint8_t* bytes, std::size_t size, std::string& error) {
    if (SeekTo(file_, offset) && std::fread(bytes, 1, size, file_) == size) return true;
    error = "cannot read recording '" + path_ + "': " +
            (std::ferror(file_) ? std::strerror(errno) : std::string("the file became shorter"));
    std::clearerr(file_);
    return false;
}

bool RecordingReader::Read(uint64_t first, uint64_t count, std::vector<uint8_t>& frames, std::string& error) {
    if (!CheckRange(first, count, error)) return false;
    frames.resize(count * layout_.frameBytes);
    return ReadAt(first * layout_.frameBytes, frames.data(), frames.size(), error);
}

bool RecordingReader::ReadSequenceNumbers(uint64_t first, uint64_t count, std::vector<uint16_t>& numbers,
                                          std::string& error) {
    if (!CheckRange(first, count, error)) return false;
    numbers.resize(count);
    for (uint64_t i = 0; i < count; ++i) {
        uint8_t bytes[2];
        if (!ReadAt((first + i + 1) * layout_.frameBytes - kSequenceNoFromEnd, bytes, sizeof bytes, error))
            return false;
        numbers[i] = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    }
    return true;
}

}  // namespace framedec::tools
