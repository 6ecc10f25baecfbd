// The multi-page TIFF: one 8-bit greyscale page per frame, uncompressed or deflate (with the
// horizontal predictor unless asked not to), each page named by its frame and sequence number and
// carrying the resolution fields that a baseline TIFF requires (1/1, no unit). The first page
// carries ImageJ's hyperstack description (images, frames, and the frame interval when it is
// known), so that Fiji and napari open the stack as a time series, and ImageJ's own metadata tags
// with the pages' names as slice labels, which ImageJ shows. As ImageJ lays out its own stacks, the pages
// lie back to back from the start of the file and their directories follow them all: ImageJ reads
// an uncompressed stack as one run of pixels from the first page on. Pages are compressed on the
// decoding threads and written as they come; the file is a classic TIFF when every offset
// fits in 32 bits, else a BigTIFF.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "commands/count_text.h"
#include "output/deflate_stream.h"
#include "output/frame_writer.h"
#include "output/imagej_metadata.h"
#include "output/tiff_directory.h"
#include "platform/output_file.h"

namespace framedec::cli {
namespace {

// The pages start after room for either header; the header is written last.
constexpr uint64_t kPagesStart = 16;
// Directories are written out in pieces of about this size.
constexpr std::size_t kDirectoryWriteBytes = std::size_t{1} << 20;

// The TIFF tags and values the stack uses.
enum Tag : uint16_t {
    kNewSubfileType = 254, kImageWidth = 256, kImageLength = 257, kBitsPerSample = 258, kCompression = 259,
    kPhotometric = 262, kImageDescription = 270, kStripOffsets = 273, kSamplesPerPixel = 277,
    kRowsPerStrip = 278, kStripByteCounts = 279, kXResolution = 282, kYResolution = 283, kPlanarConfig = 284,
    kPageName = 285, kResolutionUnit = 296, kPageNumber = 297, kPredictor = 317,
};
constexpr uint16_t kPageOfMany = 2, kUncompressed = 1, kAdobeDeflate = 8, kMinIsBlack = 1, kChunky = 1,
                   kNoUnit = 1, kHorizontalDifferencing = 2;

// ImageJ's description of a stack of time points, read by ImageJ, Fiji, tifffile and Bio-Formats.
std::string ImageJDescription(uint64_t pages, double frameInterval) {
    std::string text = "ImageJ=1.11a\nimages=" + std::to_string(pages) + "\nframes=" + std::to_string(pages) +
                       "\nhyperstack=true\n";
    if (frameInterval > 0) {
        char number[32];
        const auto end = std::to_chars(number, number + sizeof number, frameInterval).ptr;
        text.append("finterval=").append(number, end).append("\n");
    }
    return text + "loop=false\n";
}

// Each sample replaced by its difference from the one to its left (TIFF predictor 2), which makes
// smooth image content compress better.
void DifferenceRows(std::vector<uint8_t>& samples, uint32_t width) {
    for (std::size_t row = 0; row + width <= samples.size(); row += width)
        for (std::size_t x = width - 1; x > 0; --x)
            samples[row + x] = static_cast<uint8_t>(samples[row + x] - samples[row + x - 1]);
}

class TiffStack final : public FrameWriter {
public:
    TiffStack(const std::string& path, const WriterOptions& options) : path_(path), options_(options) {}

    bool Open(std::string& error) {
        if (!temporary_.Create(path_, error)) return false;
        const std::vector<uint8_t> room(kPagesStart, 0);
        return Put(room.data(), room.size(), error);
    }

    bool Encode(ConvertedFrame& frame, std::string& error) const override {
        if (!options_.deflate) return true;
        std::vector<uint8_t>& samples = frame.image.samples;
        if (options_.predictor) DifferenceRows(samples, options_.width);
        if (!CompressZlibStream(samples, frame.encoded)) {
            error = "out of memory compressing frame " + std::to_string(frame.index);
            return false;
        }
        samples = {};  // only the compressed page travels on
        return true;
    }

    bool Write(const ConvertedFrame& frame, std::string& error) override {
        const std::vector<uint8_t>& strip = options_.deflate ? frame.encoded : frame.image.samples;
        pages_.push_back({written_, strip.size(), FrameLabel(frame)});
        return Put(strip.data(), strip.size(), error);
    }

    bool Finish(std::string& error) override {
        if (written_ & 1 && !Put("", 1, error)) return false;  // directories start on a word boundary
        const uint64_t first = written_;
        bigTiff_ = DirectoriesEnd(false, first) > UINT32_MAX;
        std::vector<uint8_t> bytes;
        uint64_t at = first;
        for (std::size_t i = 0; i < pages_.size(); ++i) {
            const TiffDirectory directory = Directory(i, bigTiff_);
            const uint64_t next = i + 1 < pages_.size() ? at + directory.Size() : 0;
            directory.Encode(at, next, bytes);
            at += directory.Size();
            if (bytes.size() >= kDirectoryWriteBytes || next == 0) {
                if (!Put(bytes.data(), bytes.size(), error)) return false;
                bytes.clear();
            }
        }
        const std::vector<uint8_t> header = TiffHeader(bigTiff_, first);
        errno = 0;
        if (std::fseek(temporary_.file(), 0, SEEK_SET) != 0 ||
            std::fwrite(header.data(), 1, header.size(), temporary_.file()) != header.size())
            return Failed(error);
        return temporary_.Commit(error);
    }

    std::string Summary() const override {
        return "wrote " + path_ + ": " + CountText(pages_.size(), "page") + " of " + std::to_string(options_.width) +
               " x " + std::to_string(options_.height) + ", " +
               (options_.deflate ? options_.predictor ? "deflate" : "deflate without predictor" : "uncompressed") +
               (bigTiff_ ? ", BigTIFF" : "");
    }

    std::string Kept() const override { return {}; }

private:
    struct Page {
        uint64_t offset = 0, bytes = 0;
        std::string name;
    };

    TiffDirectory Directory(std::size_t i, bool big) const {
        const Page& page = pages_[i];
        TiffDirectory d(big);
        d.AddLong(kNewSubfileType, kPageOfMany);
        d.AddLong(kImageWidth, options_.width);
        d.AddLong(kImageLength, options_.height);
        d.AddShort(kBitsPerSample, 8);
        d.AddShort(kCompression, options_.deflate ? kAdobeDeflate : kUncompressed);
        d.AddShort(kPhotometric, kMinIsBlack);
        if (i == 0) d.AddText(kImageDescription, ImageJDescription(pages_.size(), options_.frameInterval));
        d.AddOffset(kStripOffsets, page.offset);
        d.AddShort(kSamplesPerPixel, 1);
        d.AddLong(kRowsPerStrip, options_.height);
        d.AddOffset(kStripByteCounts, page.bytes);
        d.AddRational(kXResolution, 1, 1);
        d.AddRational(kYResolution, 1, 1);
        d.AddShort(kPlanarConfig, kChunky);
        d.AddText(kPageName, page.name);
        d.AddShort(kResolutionUnit, kNoUnit);
        if (pages_.size() <= UINT16_MAX)  // page numbers are 16-bit
            d.AddShorts(kPageNumber, static_cast<uint16_t>(i), static_cast<uint16_t>(pages_.size()));
        if (options_.deflate && options_.predictor) d.AddShort(kPredictor, kHorizontalDifferencing);
        if (i == 0) {
            std::vector<std::string> labels;
            labels.reserve(pages_.size());
            for (const Page& p : pages_) labels.push_back(p.name);
            ImageJMetadata metadata = ImageJSliceLabels(labels);
            d.AddLongs(kIJMetadataByteCounts, metadata.byteCounts);
            d.AddBytes(kIJMetadata, std::move(metadata.bytes));
        }
        return d;
    }

    // Where the directories would end, starting at first.
    uint64_t DirectoriesEnd(bool big, uint64_t first) const {
        uint64_t end = first;
        for (std::size_t i = 0; i < pages_.size(); ++i) end += Directory(i, big).Size();
        return end;
    }

    bool Put(const void* bytes, std::size_t size, std::string& error) {
        errno = 0;
        if (std::fwrite(bytes, 1, size, temporary_.file()) != size) return Failed(error);
        written_ += size;
        return true;
    }

    bool Failed(std::string& error) const {
        error = "cannot write '" + path_ + "': " + (errno != 0 ? std::strerror(errno) : "the write failed");
        return false;
    }

    const std::string path_;
    const WriterOptions options_;
    TemporaryOutput temporary_;
    std::vector<Page> pages_;
    uint64_t written_ = 0;
    bool bigTiff_ = false;
};

}  // namespace

std::unique_ptr<FrameWriter> OpenTiffStack(const std::string& path, const WriterOptions& options, std::string& error) {
    auto stack = std::make_unique<TiffStack>(path, options);
    if (!stack->Open(error)) return nullptr;
    return stack;
}

}  // namespace framedec::cli
