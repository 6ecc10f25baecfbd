// A plugin as host applications load them: a shared library that decodes in parallel while it is
// being loaded (its static constructors run under the Windows loader lock, where no new thread can
// start, so the pool's new workers cannot either) and then on threads of its own. Built twice:
// against framedec's shared library, and with the library linked in statically.
#include <atomic>
#include <thread>

#include "parallel/strip_partition.h"
#include "pattern_frame.h"

#if defined(_WIN32)
#define PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using framedec::testing::PatternFrame;

// Whole-width frames, 32 strips: the first parallel decode of the process (the helper makes none).
const PatternFrame& Pattern() {
    static const auto* pattern = new PatternFrame(framedec::kMaxImageWidth, 64);  // used until the end
    return *pattern;
}

const int32_t loadDecode = [] {
    std::vector<uint8_t> out;
    return Pattern().CheckMultiThread(out, framedec::kMaxDecodeThreads);
}();

std::atomic<int> goodCalls{0}, badCalls{0};

}  // namespace

// What the decode during loading gave: 0 the right image, 1 a wrong one, else its result code.
PLUGIN_EXPORT int32_t PluginLoadDecode() { return loadDecode; }

// Starts threads that decode until the process ends, with strip counts 32, 7, 3, 32, ...
PLUGIN_EXPORT void PluginStartDecoding(int threads) {
    for (int i = 0; i < threads; ++i) {
        std::thread([strips = uint32_t{i % 3 == 0 ? 32u : i % 3 == 1 ? 7u : 3u}] {
            std::vector<uint8_t> out;
            for (;;) ++(Pattern().CheckMultiThread(out, strips) == 0 ? goodCalls : badCalls);
        }).detach();
    }
}

PLUGIN_EXPORT int PluginGoodCalls() { return goodCalls.load(); }
PLUGIN_EXPORT int PluginBadCalls() { return badCalls.load(); }
