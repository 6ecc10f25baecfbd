// The fixed-point inverse-DCT basis of the CPU decoders.
#pragma once

#include <cstdint>

namespace framedec {

// kIdctBasis[k][i] = round(32768 * c(i) * cos((2k + 1) i pi / 16)), c(0) = 1 / sqrt(2), c(i) = 1
// otherwise; k is the spatial index, i the frequency. One pass (multiply by this matrix, shift
// right by 16) is the orthonormal 8-point inverse DCT in fixed point; two passes give the 2-D
// inverse DCT of the JPEG standard.
inline constexpr int16_t kIdctBasis[8][8] = {
    {23170, 32138, 30274, 27246, 23170, 18205, 12540, 6393},
    {23170, 27246, 12540, -6393, -23170, -32138, -30274, -18205},
    {23170, 18205, -12540, -32138, -23170, 6393, 30274, 27246},
    {23170, 6393, -30274, -18205, 23170, 27246, -12540, -32138},
    {23170, -6393, -30274, 18205, 23170, -27246, -12540, 32138},
    {23170, -18205, -12540, 32138, -23170, -6393, 30274, -27246},
    {23170, -27246, 12540, 6393, -23170, 32138, -30274, 18205},
    {23170, -32138, 30274, -27246, 23170, -18205, 12540, -6393},
};

}  // namespace framedec
