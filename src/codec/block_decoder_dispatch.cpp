// Chooses the block decoder variant once and hands it to every caller.
#include <atomic>
#include <cctype>
#include <cstdlib>

#include "codec/block_decoder.h"
#include "codec/cpu_features.h"
#include "codec/dc_preview.h"

#if defined(__x86_64__) || defined(_M_X64)
#include "codec/block_decoder_x86.h"
#define FRAMEDEC_X86_VARIANTS 1
#endif
#if defined(__aarch64__) || defined(_M_ARM64)
#include "codec/block_decoder_neon.h"
#define FRAMEDEC_NEON_VARIANT 1
#endif

namespace framedec {
namespace {

bool AlwaysSupported() { return true; }

#ifdef FRAMEDEC_X86_VARIANTS
bool Sse41Supported() {
    const CpuFeatures& f = DetectedCpuFeatures();
    return f.ssse3 && f.sse41;
}

bool Avx2Supported() {
    const CpuFeatures& f = DetectedCpuFeatures();
    return f.avx2 && f.bmi1 && f.bmi2 && f.lzcnt;
}

bool Avx512Supported() { return Avx2Supported() && DetectedCpuFeatures().avx512; }
#endif

// Fastest last: the chooser takes the last entry the processor supports.
constexpr BlockDecoder kDecoders[] = {
    {"scalar", AlwaysSupported, DecodeBlocksScalar, DecodeCoefficientBlocksScalar, DecodeDcBlocksPortable},
#ifdef FRAMEDEC_X86_VARIANTS
    {"sse41", Sse41Supported, DecodeBlocksSse41, DecodeCoefficientBlocksSse41, DecodeDcBlocksPortable},
    {"avx2", Avx2Supported, DecodeBlocksAvx2, DecodeCoefficientBlocksAvx2, DecodeDcBlocksAvx2},
    {"avx512", Avx512Supported, DecodeBlocksAvx512, DecodeCoefficientBlocksAvx512, DecodeDcBlocksAvx512},
#endif
#ifdef FRAMEDEC_NEON_VARIANT
    {"neon", AlwaysSupported, DecodeBlocksNeon, DecodeCoefficientBlocksNeon, DecodeDcBlocksPortable},
#endif
};

bool SameName(const char* a, const char* b) {
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

std::atomic<const BlockDecoder*> g_active{nullptr};

}  // namespace

std::span<const BlockDecoder> BlockDecoders() { return kDecoders; }

const BlockDecoder& ChooseBlockDecoder(std::span<const BlockDecoder> decoders, const char* requested) {
    const BlockDecoder* fastest = &decoders[0];
    for (const BlockDecoder& d : decoders) {
        if (!d.supported()) continue;
        if (requested != nullptr && SameName(requested, d.name)) return d;
        fastest = &d;
    }
    return *fastest;
}

const BlockDecoder& ActiveBlockDecoder() {
    const BlockDecoder* d = g_active.load(std::memory_order_acquire);
    if (d == nullptr) {
        // Racing first calls all compute the same choice; whichever store lands is right.
        d = &ChooseBlockDecoder(kDecoders, std::getenv(kBlockDecoderVariable));
        g_active.store(d, std::memory_order_release);
    }
    return *d;
}

bool SelectBlockDecoder(std::string_view name) {
    for (const BlockDecoder& d : kDecoders) {
        if (name == d.name && d.supported()) {
            g_active.store(&d, std::memory_order_release);
            return true;
        }
    }
    return false;
}

}  // namespace framedec
