// A plugin as host applications load them: a shared library that decodes in parallel while it is
// being loaded (its static constructors run under the Windows loader lock, where no new thread can
// start, so the pool's new workers cannot either), then on threads of its own, and, if asked, once
// more from a static destructor while it is unloaded at process exit (on Windows after the system
// has ended every other thread, perhaps inside the pool's lock). Built twice: against framedec's
// shared library, and with the library linked in statically.
#include <atomic>
#include <cstring>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

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

// Written straight to the standard output handle: the C library's stream lock may belong to a
// thread the exit has ended.
void WriteLine(const char* text) {
#if defined(_WIN32)
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
#else
    if (write(1, text, std::strlen(text)) < 0) _exit(3);
#endif
}

// What the unload decodes: nothing, with DecodeData, or with DecodeDataMultiThread in 1, 7 and 32
// strips. Everything it needs is allocated beforehand: a thread the exit ended may hold the heap.
enum DetachDecode : int { kNoDecode = 0, kDecodeData = 1, kDecodeDataMultiThread = 2 };
std::atomic<int> detachDecode{kNoDecode};
uint8_t* detachOutput = nullptr;

// Prints "decode at unload:" and, per call, 0 for the right image, 1 for a wrong one, else the
// result code.
struct DecodeAtUnload {
    ~DecodeAtUnload() {
        const int mode = detachDecode.load();
        if (mode == kNoDecode) return;
        const PatternFrame& p = Pattern();
        char line[64] = "decode at unload:";
        std::size_t end = std::strlen(line);
        for (const uint32_t strips : {1u, 7u, 32u}) {
            std::memset(detachOutput, 0, p.expected.size());
            const int32_t result =
                mode == kDecodeData
                    ? DecodeData(detachOutput, 0, 0, p.width, p.height, p.width, p.frame.data(), framedec::kTableQ)
                    : DecodeDataMultiThread(detachOutput, 0, 0, p.width, p.height, p.width, p.frame.data(),
                                            framedec::kTableQ, strips);
            const int32_t outcome =
                result != FRAMEDEC_OK ? result : std::memcmp(detachOutput, p.expected.data(), p.expected.size()) != 0;
            line[end++] = ' ';
            if (outcome >= 10) line[end++] = static_cast<char>('0' + outcome / 10 % 10);
            line[end++] = static_cast<char>('0' + outcome % 10);
        }
        line[end++] = '\n';
        line[end] = 0;
        WriteLine(line);
    }
} decodeAtUnload;

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

// Makes the plugin's unload decode (see DetachDecode).
PLUGIN_EXPORT void PluginDecodeAtUnload(int mode) {
    detachOutput = new uint8_t[Pattern().expected.size()];  // used until the end
    detachDecode.store(mode);
}

PLUGIN_EXPORT int PluginGoodCalls() { return goodCalls.load(); }
PLUGIN_EXPORT int PluginBadCalls() { return badCalls.load(); }
