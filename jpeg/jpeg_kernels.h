#pragma once
// The arithmetic of the decoder's last steps, on one MCU: the integer inverse DCT
// and the conversion from Y, Cb, Cr to blue, green, red. Exposed so that tests can
// hold them against the plain definitions.

#include <cstddef>
#include <cstdint>

namespace vx {

// The integer inverse DCT matrix K (row i = output sample, column u = frequency):
// 13 fractional bits, applied to rows (rounded, >> 11) then columns (rounded, >> 18).
inline constexpr std::int32_t kIdctMatrix[8][8] = {
    {8192, 11363, 10703, 9633, 8192, 6437, 4433, 2260},
    {8192, 9633, 4433, -2259, -8192, -11362, -10704, -6436},
    {8192, 6437, -4433, -11362, -8192, 2261, 10704, 9633},
    {8192, 2260, -10703, -6436, 8192, 9633, -4433, -11363},
    {8192, -2260, -10703, 6436, 8192, -9633, -4433, 11363},
    {8192, -6437, -4433, 11362, -8192, -2261, 10704, -9633},
    {8192, -9633, 4433, 2259, -8192, 11362, -10704, 6436},
    {8192, -11363, 10703, -9633, 8192, -6437, 4433, -2260},
};

// In place on 64 dequantised coefficients in natural order, 16-byte aligned. Bit r
// of `nonzeroRows` is clear only if row r is all zero. Sums wrap modulo 2^32
// (hostile streams can overflow them), so every output lies in -8192..8191.
void InverseDct(std::int32_t* block, unsigned nonzeroRows);

// Converts one MCU to pixels and stores them: `y0`, `y1` (left and right
// luminance), `cb`, `cr` are inverse DCT outputs before the level shift, each 64
// values in -8192..8191, 16-byte aligned. Writes 8 rows of 16 pixels (blue, green,
// red): the top row at `top`, each next row `rowStep` bytes further (negative for
// bottom-up rows). With `flatCb` the caller promises that all 64 values of `cb`
// are equal, with `flatCr` the same of `cr`.
void StoreMcu(const std::int32_t* y0, const std::int32_t* y1, const std::int32_t* cb,
              const std::int32_t* cr, std::uint8_t* top, std::ptrdiff_t rowStep,
              bool flatCb = false, bool flatCr = false);

}  // namespace vx
