// The multi-page TIFF: one 8-bit greyscale page per frame, uncompressed or deflate, each page named
// by its frame and sequence number. Pages are compressed on the decoding threads (zlib) and stored
// as they are (raw strips), so libtiff only lays out tags and bytes.
#include <tiffio.h>
#include <zlib.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "frame_writer.h"
#include "output_file.h"

namespace framedec::cli {
namespace {

// Classic TIFF addresses 4 GiB; a stack that may need more is written as BigTIFF, which every
// reader of multi-page TIFFs in use today opens. The estimate counts pages uncompressed with room
// for their tags.
constexpr uint64_t kClassicTiffLimit = (uint64_t{1} << 32) - (uint64_t{64} << 20);
constexpr uint64_t kBytesPerPageOfTags = 512;
// zlib level 1: on camera frames about 2.5 times as fast as the default level 6, for pages about 5%
// larger.
constexpr int kDeflateLevel = 1;

// libtiff reports through process-wide handlers; the stack is written on one thread, so the last
// message is kept here for the error line instead of going to standard error.
std::string lastTiffMessage;

extern "C" void OnTiffError(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    lastTiffMessage = std::string(module != nullptr ? module : "libtiff") + ": " + text;
}

extern "C" void OnTiffWarning(const char*, const char*, va_list) {}

class TiffStack final : public FrameWriter {
public:
    TiffStack(const std::string& path, const WriterOptions& options) : path_(path), options_(options) {}

    ~TiffStack() override {
        if (tiff_ != nullptr) TIFFClose(tiff_);
    }

    bool Open(std::string& error) {
        if (!temporary_.Create(path_, error)) return false;
        TIFFSetErrorHandler(OnTiffError);
        TIFFSetWarningHandler(OnTiffWarning);
        bigTiff_ =
            options_.frames * (uint64_t{options_.width} * options_.height + kBytesPerPageOfTags) > kClassicTiffLimit;
        errno = 0;
        tiff_ = TIFFOpen(temporary_.path().c_str(), bigTiff_ ? "w8" : "w");
        return tiff_ != nullptr || Failed(error);
    }

    bool Encode(ConvertedFrame& frame, std::string& error) const override {
        if (!options_.deflate) return true;
        const std::vector<uint8_t>& samples = frame.image.samples;
        uLongf size = compressBound(static_cast<uLong>(samples.size()));
        frame.encoded.resize(size);
        if (compress2(frame.encoded.data(), &size, samples.data(), static_cast<uLong>(samples.size()), kDeflateLevel) !=
            Z_OK) {
            error = "zlib could not compress frame " + std::to_string(frame.index);
            return false;
        }
        frame.encoded.resize(size);
        frame.image.samples = {};  // only the compressed page travels on
        return true;
    }

    bool Write(const ConvertedFrame& frame, std::string& error) override {
        const std::string name = FrameLabel(frame);
        TIFFSetField(tiff_, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, options_.width);
        TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, options_.height);
        TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, options_.height);
        TIFFSetField(tiff_, TIFFTAG_COMPRESSION, options_.deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
        TIFFSetField(tiff_, TIFFTAG_PAGENAME, name.c_str());
        if (options_.frames <= UINT16_MAX)  // page numbers are 16-bit
            TIFFSetField(tiff_, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(pages_),
                         static_cast<uint16_t>(options_.frames));
        const std::vector<uint8_t>& strip = options_.deflate ? frame.encoded : frame.image.samples;
        errno = 0;
        if (TIFFWriteRawStrip(tiff_, 0, const_cast<uint8_t*>(strip.data()), static_cast<tmsize_t>(strip.size())) !=
                static_cast<tmsize_t>(strip.size()) ||
            !TIFFWriteDirectory(tiff_))
            return Failed(error);
        ++pages_;
        return true;
    }

    bool Finish(std::string& error) override {
        errno = 0;
        const bool flushed = TIFFFlush(tiff_) == 1;
        TIFFClose(tiff_);
        tiff_ = nullptr;
        if (!flushed) return Failed(error);
        return temporary_.Commit(error);
    }

    std::string Summary() const override {
        return "wrote " + path_ + ": " + std::to_string(pages_) + (pages_ == 1 ? " page" : " pages") + " of " +
               std::to_string(options_.width) + " x " + std::to_string(options_.height) + ", " +
               (options_.deflate ? "deflate" : "uncompressed") + (bigTiff_ ? ", BigTIFF" : "");
    }

    std::string Kept() const override { return {}; }

private:
    // The reason a libtiff call failed: the system's, when it set one (a full disk), else libtiff's.
    bool Failed(std::string& error) const {
        std::string reason = errno != 0 ? std::strerror(errno) : lastTiffMessage;
        error = "cannot write '" + path_ + "': " + (reason.empty() ? "libtiff failed" : reason);
        return false;
    }

    const std::string path_;
    const WriterOptions options_;
    TemporaryOutput temporary_;
    TIFF* tiff_ = nullptr;
    bool bigTiff_ = false;
    uint64_t pages_ = 0;
};

}  // namespace

std::unique_ptr<FrameWriter> OpenTiffStack(const std::string& path, const WriterOptions& options, std::string& error) {
    auto stack = std::make_unique<TiffStack>(path, options);
    if (!stack->Open(error)) return nullptr;
    return stack;
}

}  // namespace framedec::cli
