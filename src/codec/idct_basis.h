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

// The symmetry the vectorised transforms use to split each pass into even and odd halves:
// B[7 - x][u] = (-1)^u B[x][u], so outputs 7 to 4 come from the same products as outputs 0 to 3.
constexpr bool BasisIsSymmetric() {
    for (int x = 0; x < 8; ++x)
        for (int u = 0; u < 8; ++u)
            if (kIdctBasis[7 - x][u] != (u % 2 == 0 ? kIdctBasis[x][u] : -kIdctBasis[x][u])) return false;
    return true;
}
static_assert(BasisIsSymmetric());

}  // namespace framedec
