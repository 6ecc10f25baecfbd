#include "parallel/task_id.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <type_traits>

#include "parallel/pool_platform.h"

namespace framedec {
namespace {

// A random (version 4) GUID in its text form, from the system's random source.
std::string NewRandomGuidText() {
    std::array<uint8_t, 16> bytes;
    if (!FillFromSystemRandomSource(bytes)) throw std::runtime_error("the system's random source failed");
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the standard variant
    char text[kTaskIdLength + 1];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return std::string(text, kTaskIdLength);
}

// The text "xxxxxxxx-xxxx-Vxxx-yxxx-xxxxxxxxxxxx": the last 16 hex digits (from position 19,
// hyphen at 23) are the GUID's final 64 bits, whose top two bits are its variant.
constexpr std::size_t kTailStart = 19, kTailHyphen = 23;
constexpr uint64_t kCounterBits = (uint64_t{1} << 62) - 1;

int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// The GUID made once per process, split into its fixed text and its final 64 bits. Trivially
// destructible, so that it stays readable for calls still made while the process exits.
struct Seed {
    char text[kTaskIdLength];
    uint64_t tail;
};

static_assert(std::is_trivially_destructible_v<Seed>);

Seed MakeSeed() {
    const std::string text = NewRandomGuidText();
    Seed seed{};
    for (std::size_t i = 0; i < kTaskIdLength; ++i) seed.text[i] = text[i];
    for (std::size_t i = kTailStart; i < kTaskIdLength; ++i) {
        if (i != kTailHyphen) seed.tail = seed.tail << 4 | static_cast<uint64_t>(HexValue(seed.text[i]));
    }
    return seed;
}

constinit std::atomic<uint64_t> g_issued{0};

}  // namespace

// One random GUID per process, then a count: the final 62 bits of the seed plus the number of
// identifiers issued before, modulo 2^62, keeping the seed's version and variant. Identifiers are
// unique within the process for 2^62 submissions, and no system call is made after the first.
std::string NewTaskId() {
    static const Seed seed = MakeSeed();
    const uint64_t count = g_issued.fetch_add(1, std::memory_order_relaxed);
    const uint64_t tail = (seed.tail & ~kCounterBits) | ((seed.tail + count) & kCounterBits);
    std::string id(seed.text, kTaskIdLength);
    static constexpr char kHex[] = "0123456789abcdef";
    int shift = 60;
    for (std::size_t i = kTailStart; i < kTaskIdLength; ++i) {
        if (i == kTailHyphen) continue;
        id[i] = kHex[(tail >> shift) & 0xF];
        shift -= 4;
    }
    return id;
}

}  // namespace framedec
