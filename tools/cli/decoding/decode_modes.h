// The ways the tool decodes a frame, one table entry each: they are the decode command's --mode
// values and the rows of the demo's table. Adding a mode (another export of the library) means
// adding one entry to the table in decode_modes.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "synth/pgm.h"

namespace framedec::cli {

enum class RectUnit { Pixels, Blocks };

struct Rect {
    uint32_t x = 0, y = 0, width = 0, height = 0;
};

struct DecodeInput {
    const uint8_t* frame = nullptr;
    uint32_t frameHeight = 0;  // lines
    const uint16_t* table = nullptr;
    Rect rect;                 // in the mode's unit, already checked against the frame's size
    uint32_t threads = 1;      // mt: strips decoded at once, 1 to 32
};

// A decode's result as packed lines: 8-bit samples, or signed 16-bit coefficients.
struct DecodedImage {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> samples;
    std::vector<int16_t> coefficients;
};

struct DecodeMode {
    std::string_view name;
    std::string_view summary;   // one line for --help
    std::string_view demoFile;  // the output's name in the demo's folder
    std::string_view psnrAgainst;  // what the demo compares the output with
    RectUnit unit;
    bool hasRawOutput;          // whether --raw applies
    bool hasThreads;            // whether --threads applies
    bool takesRect;             // whether --rect applies (gpu decodes whole frames only)
    bool takesTable;            // whether --table and --quality apply (gpu has its own fixed table)
    Rect (*wholeFrame)(uint32_t frameHeight);
    // Calls the library; returns its result code. out is sized for the rectangle first.
    int32_t (*decode)(const DecodeInput& input, DecodedImage& out);
    // The output file's bytes.
    std::vector<uint8_t> (*fileBytes)(const DecodedImage& image, bool raw);
    // PSNR in dB of a whole-frame decode against source, the image the frame was made from.
    double (*psnr)(const tools::GreyImage& source, const DecodedImage& image);
};

std::span<const DecodeMode> DecodeModes();

// What the modes keep from one decode to the next (the GPU's set-up) lasts as long as a session:
// a command that decodes holds one, and the GPU is torn down when it goes.
class DecodeSession {
public:
    DecodeSession() = default;
    DecodeSession(const DecodeSession&) = delete;
    DecodeSession& operator=(const DecodeSession&) = delete;
    ~DecodeSession();
};

// nullptr when no mode has that name.
const DecodeMode* FindDecodeMode(std::string_view name);

// "pixels|mt|dct|dc|gpu", for help texts and messages.
std::string ModeNames();

// The mt mode's strips when --threads is not given: the processor count, 1 to 32.
uint32_t DefaultDecodeThreads();

}  // namespace framedec::cli
