// A recording: a file of back-to-back compressed frames of one height, as the camera writes them.
// Shared by the command-line tool and the Python package: how a file splits into whole frames, and
// which sequence numbers were dropped or came again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace framedec::tools {

struct RecordingLayout {
    uint64_t frameBytes = 0;     // bytes per frame: height x 320
    uint64_t frames = 0;         // whole frames in the file
    uint64_t trailingBytes = 0;  // bytes of a last frame cut short (never read as a frame)
};

// frameHeight must be a valid frame height (a multiple of 8 from 8 to 1024).
RecordingLayout LayoutOfRecording(uint64_t fileBytes, uint32_t frameHeight);

struct DroppedRun {
    uint64_t index = 0;  // the frame that follows the gap
    uint32_t count = 0;  // sequence numbers missing before it
};

// Follows sequence numbers frame by frame, counting modulo 65536 (65535 then 0 is no gap). From one
// frame to the next the number should grow by 1. A step of 2 to 32768 means step - 1 frames were
// dropped; a step of 0 (the same number again) or of more than 32768 (the number went back) marks
// the frame as repeated. A backward jump and a drop of more than 32767 frames cannot be told apart;
// the smaller reading is taken.
class SequenceTracker {
public:
    void Add(uint16_t sequenceNo);

    uint64_t frames() const { return frames_; }
    const std::vector<DroppedRun>& dropped() const { return dropped_; }
    const std::vector<uint64_t>& repeated() const { return repeated_; }
    uint64_t droppedFrames() const;

private:
    uint64_t frames_ = 0;
    uint16_t last_ = 0;
    std::vector<DroppedRun> dropped_;
    std::vector<uint64_t> repeated_;
};

// Reads a recording frame by frame, or a run of frames at a time, in bounded memory (no mapping, so
// files of any size work wherever 64-bit file offsets do). Not thread-safe.
class RecordingReader {
public:
    RecordingReader() = default;
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // Opens the file and splits it into frames of frameHeight lines. On failure error names the file.
    bool Open(const std::string& path, uint32_t frameHeight, std::string& error);
    const RecordingLayout& layout() const { return layout_; }

    // Reads count whole frames starting at frame index first into frames (resized to count x frame
    // bytes). The range must lie within the recording's whole frames.
    bool Read(uint64_t first, uint64_t count, std::vector<uint8_t>& frames, std::string& error);

    // The sequence numbers of count frames from frame index first, reading only their two bytes
    // each (a scan of a long recording reads a small part of it). Same range rule as Read.
    bool ReadSequenceNumbers(uint64_t first, uint64_t count, std::vector<uint16_t>& numbers, std::string& error);

private:
    bool CheckRange(uint64_t first, uint64_t count, std::string& error) const;
    bool ReadAt(uint64_t offset, uint8_t* bytes, std::size_t size, std::string& error);

    std::FILE* file_ = nullptr;
    std::string path_;
    RecordingLayout layout_;
};

}  // namespace framedec::tools
