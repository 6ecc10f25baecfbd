// Region loops: walk the blocks that cover a rectangle and copy each block's visible part out.
#pragma once

#include <cstdint>

namespace framedec {

// Decodes the rectangle (x, y, width, height) of frame to 8-bit pixels at output, lines pitch
// bytes apart. The arguments must already be validated (x and y multiples of 8, the rectangle
// inside the image). Edge blocks are decoded whole and cut to the rectangle; no byte outside the
// rectangle is written. Gives the same pixels whether called once or once per vertical strip.
void DecodeRegion(uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                  uint32_t pitch, const uint8_t* frame, const uint16_t* table);

// The same walk producing dequantised coefficients: block (i, j) of the rectangle goes to the 8 x 8
// element area at line 8j, element 8i; pitch is in bytes. Edge blocks keep their low frequencies.
void DecodeCoefficientRegion(int16_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                             uint32_t pitch, const uint8_t* frame, const uint16_t* table);

}  // namespace framedec
