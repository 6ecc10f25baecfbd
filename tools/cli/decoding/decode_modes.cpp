#include "decoding/decode_modes.h"

#include <algorithm>
#include <array>
#include <thread>

#include "codec/frame_geometry.h"
#include "framedec.h"
#include "parallel/strip_partition.h"
#include "synth/reference_images.h"

namespace framedec::cli {
namespace {

tools::GreyImage AsGreyImage(const DecodedImage& image) { return {image.width, image.height, image.samples}; }

std::vector<uint8_t> GreyFile(const DecodedImage& image, bool) { return tools::EncodePgm(AsGreyImage(image)); }

double PixelPsnr(const tools::GreyImage& source, const DecodedImage& image) {
    return tools::Psnr(source, AsGreyImage(image));
}

// pixels: DecodeData, the 8-bit image. The whole frame is the image width (1246).
Rect WholeImage(uint32_t frameHeight) { return {0, 0, kMaxImageWidth, frameHeight}; }

int32_t DecodePixels(const DecodeInput& in, DecodedImage& out) {
    out.width = in.rect.width;
    out.height = in.rect.height;
    out.samples.resize(std::size_t{out.width} * out.height);
    return DecodeData(out.samples.data(), in.rect.x, in.rect.y, in.rect.width, in.rect.height, in.rect.width,
                      in.frame, in.table);
}

// mt: DecodeDataMultiThread, the same pixels decoded in vertical strips on the library's workers.
int32_t DecodePixelsInStrips(const DecodeInput& in, DecodedImage& out) {
    out.width = in.rect.width;
    out.height = in.rect.height;
    out.samples.resize(std::size_t{out.width} * out.height);
    return DecodeDataMultiThread(out.samples.data(), in.rect.x, in.rect.y, in.rect.width, in.rect.height,
                                 in.rect.width, in.frame, in.table, in.threads);
}

// dct: DecodeDCTData, the coefficients of whole blocks (1248 wide), as a 16-bit PGM offset so that
// 0 is mid-grey, or raw little-endian.
Rect WholeBlocks(uint32_t frameHeight) { return {0, 0, kPaddedImageWidth, frameHeight}; }

int32_t DecodeCoefficients(const DecodeInput& in, DecodedImage& out) {
    out.width = in.rect.width;
    out.height = in.rect.height;
    out.coefficients.resize(std::size_t{out.width} * out.height);
    return DecodeDCTData(out.coefficients.data(), in.rect.x, in.rect.y, in.rect.width, in.rect.height,
                         in.rect.width * uint32_t{sizeof(int16_t)}, in.frame, in.table);
}

std::vector<uint8_t> CoefficientFile(const DecodedImage& image, bool raw) {
    if (raw) {
        std::vector<uint8_t> bytes;
        bytes.reserve(image.coefficients.size() * 2);
        for (int16_t c : image.coefficients) {
            bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(c) & 0xFF));
            bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(c) >> 8));
        }
        return bytes;
    }
    std::vector<uint16_t> samples;
    samples.reserve(image.coefficients.size());
    for (int16_t c : image.coefficients) samples.push_back(static_cast<uint16_t>(c + 32768));
    return tools::EncodePgm16(image.width, image.height, samples);
}

double CoefficientPsnr(const tools::GreyImage& source, const DecodedImage& image) {
    return tools::Psnr(source, tools::ImageFromCoefficients(image.coefficients, image.width, image.height));
}

// dc: DecodeDCData, one byte per block of the image's 156 block columns.
Rect WholeBlockGrid(uint32_t frameHeight) { return {0, 0, kSlotsPerRow, frameHeight / kBlockSize}; }

int32_t DecodePreview(const DecodeInput& in, DecodedImage& out) {
    out.width = in.rect.width;
    out.height = in.rect.height;
    out.samples.resize(std::size_t{out.width} * out.height);
    return DecodeDCData(out.samples.data(), in.rect.x, in.rect.y, in.rect.width, in.rect.height, in.frame);
}

double PreviewPsnr(const tools::GreyImage& source, const DecodedImage& image) {
    return tools::Psnr(tools::BlockMeans(source), AsGreyImage(image));
}

// gpu: GetAvailableGPUProcess, SetupGPUDecode and DecodeGPU: the whole frame decoded on the GPU
// with its fixed table Q and copied back, an 8-bit image of the image width (1246). The set-up is
// made for the first frame and kept for further frames of the same size until the session ends.
struct GpuSetup {
    bool made = false;  // a set-up was attempted; even a failed one may hold buffers
    FrameSize size{};
};
GpuSetup gpuSetup;

int32_t DecodeOnGpu(const DecodeInput& in, DecodedImage& out) {
    out.width = in.rect.width;
    out.height = in.rect.height;
    out.samples.resize(std::size_t{out.width} * out.height);
    if (const int32_t available = GetAvailableGPUProcess(); available != FRAMEDEC_OK) return available;
    const FrameSize size{static_cast<int32_t>(out.width), static_cast<int32_t>(in.frameHeight)};
    if (!gpuSetup.made || gpuSetup.size.width != size.width || gpuSetup.size.height != size.height) {
        gpuSetup = {true, size};
        if (const int32_t setup = SetupGPUDecode(size); setup != FRAMEDEC_OK) return setup;
    }
    uint8_t* output = out.samples.data();
    return DecodeGPU(true, in.frame, &output, size.width);
}

const std::array kModes = {
    DecodeMode{"pixels", "8-bit pixels (DecodeData), an 8-bit PGM", "pixels.pgm", "the source image",
               RectUnit::Pixels, false, false, true, true, WholeImage, DecodePixels, GreyFile, PixelPsnr},
    DecodeMode{"mt", "the same pixels in --threads strips at once (DecodeDataMultiThread), an 8-bit PGM", "mt.pgm",
               "the source image", RectUnit::Pixels, false, true, true, true, WholeImage, DecodePixelsInStrips, GreyFile,
               PixelPsnr},
    DecodeMode{"dct", "dequantised DCT coefficients (DecodeDCTData), a 16-bit PGM with 0 at 32768, or raw",
               "dct.pgm", "the source (coefficients inverse-transformed)", RectUnit::Pixels, true, false, true, true,
               WholeBlocks, DecodeCoefficients, CoefficientFile, CoefficientPsnr},
    DecodeMode{"dc", "1/8-scale preview from the DC codes (DecodeDCData), an 8-bit PGM; rectangle in blocks",
               "dc.pgm", "8 x 8 block means of the source", RectUnit::Blocks, false, false, true, true, WholeBlockGrid,
               DecodePreview, GreyFile, PreviewPsnr},
    DecodeMode{"gpu", "the whole frame on the GPU with its fixed table Q (DecodeGPU), an 8-bit PGM", "gpu.pgm",
               "the source image", RectUnit::Pixels, false, false, false, false, WholeImage, DecodeOnGpu, GreyFile,
               PixelPsnr},
};

}  // namespace

std::span<const DecodeMode> DecodeModes() { return kModes; }

DecodeSession::~DecodeSession() {
    if (gpuSetup.made) TeardownGPUDecode();
    gpuSetup = {};
}

const DecodeMode* FindDecodeMode(std::string_view name) {
    for (const DecodeMode& mode : kModes)
        if (mode.name == name) return &mode;
    return nullptr;
}

uint32_t DefaultDecodeThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxDecodeThreads);
}

std::string ModeNames() {
    std::string names;
    for (const DecodeMode& mode : kModes) names.append(names.empty() ? "" : "|").append(mode.name);
    return names;
}

}  // namespace framedec::cli
