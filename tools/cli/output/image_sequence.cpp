// One PNG or PGM file per frame, named by a pattern that holds the frame's index in the recording.
// Each file is written whole or not at all; when one fails, the error says which were written.
#include "commands/count_text.h"
#include "output/frame_writer.h"
#include "output/png_image.h"
#include "platform/output_file.h"

namespace framedec::cli {
namespace {

class ImageSequence final : public FrameWriter {
public:
    explicit ImageSequence(const OutputTarget& target) : target_(target) {}

    bool Encode(ConvertedFrame& frame, std::string& error) const override {
        const std::string label = FrameLabel(frame);
        if (target_.format == OutputFormat::Png) return EncodePng(frame.image, label, frame.encoded, error);
        frame.encoded =
            tools::EncodePgm({frame.image.width, frame.image.height, std::move(frame.image.samples)}, label);
        return true;
    }

    bool Write(const ConvertedFrame& frame, std::string& error) override {
        const std::string name = target_.pattern.NameOf(frame.number);
        if (!WriteFileAtomically(name, frame.encoded, error)) return false;
        if (files_++ == 0) first_ = name;
        last_ = name;
        return true;
    }

    bool Finish(std::string&) override { return true; }

    std::string Summary() const override {
        if (files_ == 0) return "no file written";
        if (files_ == 1) return "wrote 1 file, " + first_;
        return "wrote " + CountText(files_, "file") + ", " + first_ + " to " + last_;
    }

    std::string Kept() const override { return Summary(); }

private:
    const OutputTarget target_;
    uint64_t files_ = 0;
    std::string first_, last_;
};

}  // namespace

std::unique_ptr<FrameWriter> OpenImageSequence(const OutputTarget& target, std::string& error) {
    if (target.format == OutputFormat::Png && !HavePngSupport()) {
        error = "this build of framedec has no PNG support";
        return nullptr;
    }
    return std::make_unique<ImageSequence>(target);
}

}  // namespace framedec::cli
