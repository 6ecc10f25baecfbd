// The outputs of `framedec convert`: a multi-page TIFF or a sequence of PNG or PGM files.
#pragma once

#include <memory>
#include <string>

#include "decoding/frame_pipeline.h"
#include "output/convert_output.h"

namespace framedec::cli {

class FrameWriter {
public:
    virtual ~FrameWriter() = default;

    // On a decoding thread, any number at once: turns the decoded image into what Write stores
    // (compressed or file bytes), so that the costly part runs in parallel.
    virtual bool Encode(ConvertedFrame& frame, std::string& error) const = 0;
    // On one thread, in frame order.
    virtual bool Write(const ConvertedFrame& frame, std::string& error) = 0;
    // After the last frame. A single-file output appears under its name only now; dropped
    // before, it leaves nothing behind.
    virtual bool Finish(std::string& error) = 0;
    // What was written, for the closing line ("wrote out.tif: 100 pages of 1246 x 1024, uncompressed").
    virtual std::string Summary() const = 0;
    // After a failure: what stays behind ("wrote 3 files, f0.png to f2.png"); empty when nothing does.
    virtual std::string Kept() const = 0;
};

struct WriterOptions {
    uint64_t frames = 0;           // frames that will be written
    uint32_t width = 0, height = 0;  // of every image
    bool deflate = false;          // TIFF only
    bool predictor = true;         // with deflate: the horizontal predictor
    double frameInterval = 0;      // seconds from one frame to the next, 0 when unknown (TIFF only)
};

// nullptr with error (one line) when the output cannot be started, or this build lacks its format.
std::unique_ptr<FrameWriter> OpenFrameWriter(const OutputTarget& target, const WriterOptions& options,
                                             std::string& error);

// Each format's writer; the TIFF one is built only with libtiff.
std::unique_ptr<FrameWriter> OpenTiffStack(const std::string& path, const WriterOptions& options, std::string& error);
std::unique_ptr<FrameWriter> OpenImageSequence(const OutputTarget& target, std::string& error);

// The text each output stores with a frame (TIFF page name, PNG text, PGM comment):
// "frame=I sequence_number=N", or "dropped sequence_number=N" for a blank page in a dropped frame's place.
std::string FrameLabel(const ConvertedFrame& frame);

}  // namespace framedec::cli
