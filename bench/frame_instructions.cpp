// The decode loop counted under qemu-user (qemu_instruction_counts.sh): every test image as a frame
// (table Q), each block-decoder variant of the build, DecodeData and DecodeDCData once each between
// two marker system calls that the instruction-counting plugin reads. Prints "label image" before
// each count; the counts themselves come from the plugin.
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"
#include "codec/quant_table_q.h"
#include "framedec.h"
#include "synth/frame_synth.h"
#include "synth/pgm.h"

namespace {

constexpr long kMarker = 0x46524d44;  // the plugin's marker
enum : long { kStart = 1, kStop = 2 };

void Mark(long what) { syscall(SYS_getppid, kMarker, what); }

}  // namespace

int main(int argc, char** argv) {
    using namespace framedec;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s IMAGE_DIRECTORY\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> pixels(std::size_t{kMaxImageWidth} * kMaxImageHeight);
    const char* names[] = {"astronaut", "hubble", "rocket", "gravel"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        tools::GreyImage image;
        std::string error;
        if (!tools::ReadPgm(std::string(argv[1]) + "/" + names[i] + ".pgm", image, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        tools::SynthOptions options;
        options.seed = i + 1;  // as the benchmark's frames
        const std::vector<uint8_t> frame = tools::SynthesizeFrame(image, options);
        for (const BlockDecoder& variant : BlockDecoders()) {
            if (!SelectBlockDecoder(variant.name)) continue;
            for (const bool preview : {false, true}) {
                const auto decode = [&] {
                    if (preview) return DecodeDCData(pixels.data(), 0, 0, kSlotsPerRow, kMaxBlockRows, frame.data());
                    return DecodeData(pixels.data(), 0, 0, kMaxImageWidth, kMaxImageHeight, kMaxImageWidth, frame.data(),
                                      kTableQ);
                };
                decode();  // once uncounted, so that every counted run starts alike
                std::fprintf(stderr, "%s.%s %s\n", preview ? "DecodeDCData" : "DecodeData", variant.name, names[i]);
                Mark(kStart);
                decode();
                Mark(kStop);
            }
        }
    }
    return 0;
}
