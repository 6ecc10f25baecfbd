// Helpers shared by the test suites: frame builders, canary-filled buffers and slot makers.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "codec/frame_geometry.h"
#include "synth/frame_synth.h"
#include "synth/pgm.h"

namespace framedec::testing {

using Slot = std::array<uint8_t, 16>;
using Levels = std::array<int16_t, 64>;

// A slot from its bytes in address order; missing bytes are zero.
Slot SlotFromBytes(std::initializer_list<uint8_t> bytes);

// Writes bits (in reading order) into a slot starting at bit position pos.
void PutStreamBits(Slot& slot, uint32_t pos, const std::string& bits);  // e.g. "1 1 0 1"

// The slot holding levels (natural order) with the marker at markerBit.
Slot SlotFromLevels(const Levels& levels, uint32_t markerBit = 0);

// Random levels whose stream fits a slot, with sizes up to maxSize.
Levels RandomFittingLevels(std::mt19937_64& random, uint32_t maxSize);

// A random valid slot: random levels, random marker position that leaves room for the stream.
Slot RandomValidSlot(std::mt19937_64& random, uint32_t maxSize = 11);

// Sixteen random bytes, sometimes with runs of zero bytes or all-ones bytes.
Slot RandomHostileSlot(std::mt19937_64& random);

// A table of unit entries (levels come out as coefficients).
std::array<uint16_t, 64> UnitTable();

// A frame of heightLines lines whose every byte is random (hostile slots, random tails).
std::vector<uint8_t> RandomFrame(uint32_t heightLines, uint64_t seed);

// A synthesised frame of the project's astronaut image (1024 lines, table Q, random markers).
const std::vector<uint8_t>& AstronautFrame();
const tools::GreyImage& AstronautImage();

// Output buffer filled with a position-dependent canary pattern.
struct CanaryBuffer {
    explicit CanaryBuffer(std::size_t bytes, uint8_t salt = 0x5A);
    static uint8_t Canary(std::size_t i, uint8_t salt) { return static_cast<uint8_t>(i * 131u + 7u + salt); }
    // Whether every byte outside the rectangle (lines pitch bytes apart, rowBytes bytes each) still
    // holds its canary.
    bool OnlyRectangleChanged(uint32_t rowBytes, uint32_t lines, uint32_t pitch) const;
    bool Untouched() const;
    std::vector<uint8_t> bytes;
    uint8_t salt;
};

// Full-frame references built block by block with the portable decoders: pixels of the padded
// 1248-wide image, and coefficients of the 1248-wide coefficient image.
std::vector<uint8_t> ReferencePixels(const std::vector<uint8_t>& frame, uint32_t heightLines, const uint16_t* table);
std::vector<int16_t> ReferenceCoefficients(const std::vector<uint8_t>& frame, uint32_t heightLines,
                                           const uint16_t* table);

std::string DataPath(const std::string& name);

// The command that runs one of the build's programs: the program itself, or under a user-mode
// emulator (qemu-user for a cross build, FRAMEDEC_TEST_EMULATOR), which does not follow a program
// into the programs it starts.
std::vector<std::string> TargetProgramCommand(const std::string& program);

// Whether the tests run under AddressSanitizer or ThreadSanitizer.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// Whether the tests run under a user-mode emulator (a cross build's tests under qemu-user).
#ifdef FRAMEDEC_TEST_EMULATOR
inline constexpr bool kEmulated = true;
#else
inline constexpr bool kEmulated = false;
#endif

// Iteration counts for the large randomised comparisons: full in optimised builds, a tenth under
// the sanitizers and under an emulator, which make each iteration many times slower.
constexpr int Iterations(int full) { return kSanitized || kEmulated ? full / 10 : full; }

}  // namespace framedec::testing
