// Chooses the block decoder variant once and hands it to every caller.
#include <atomic>

#include "codec/block_decoder.h"

namespace framedec {
namespace {

bool AlwaysSupported() { return true; }

// Fastest last: the chooser takes the last entry the processor supports.
constexpr BlockDecoder kDecoders[] = {
    {"scalar", AlwaysSupported, DecodeBlockScalar, DecodeBlockCoefficientsScalar},
};

const BlockDecoder* ChooseFastest() {
    const BlockDecoder* best = &kDecoders[0];
    for (const BlockDecoder& d : kDecoders) {
        if (d.supported()) best = &d;
    }
    return best;
}

std::atomic<const BlockDecoder*> g_active{nullptr};

}  // namespace

std::span<const BlockDecoder> BlockDecoders() { return kDecoders; }

const BlockDecoder& ActiveBlockDecoder() {
    const BlockDecoder* d = g_active.load(std::memory_order_acquire);
    if (d == nullptr) {
        // Racing first calls all compute the same choice; whichever store lands is right.
        d = ChooseFastest();
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
