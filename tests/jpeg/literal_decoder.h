#pragma once
// The decoder's definition written out step by step, slow and plain, as the oracle
// for the real decoder: a 32-bit bit window refilled 16 bits at a time, codes
// matched length by length, the inverse DCT as two matrix products, the colour
// products in double precision. Where the definition leaves a case open (hostile
// input), it takes the same decisions as the real decoder: bytes past the end read
// as zero, 32-bit sums wrap, malformed or unsupported streams are refused.

#include <cstdint>
#include <vector>

namespace vx::test {

struct LiteralPicture {
    bool ok = false;
    std::int32_t width = 0;            // frame width, a multiple of 16
    std::int32_t height = 0;           // frame height, a multiple of 8
    std::vector<std::uint8_t> pixels;  // bottom-up rows of width * 3 bytes, blue, green, red
};

// As DecodeMemory: the stream must start with FF D8 and decoding ends after the scan.
LiteralPicture LiteralDecodeMemory(const std::uint8_t* data, std::uint32_t length);
// As DecodeFile on a file holding these bytes: parsing goes on after the scan.
LiteralPicture LiteralDecodeFileBytes(const std::uint8_t* data, std::uint32_t length);

// out[i] = (sum over u of in[u] * K[i][u] + 1024) >> 11 on rows, then with 131072 and
// >> 18 on columns; sums modulo 2^32.
void LiteralInverseDct(std::int32_t* block);

// blue, green, red of one pixel from level-shifted Y, Cb, Cr.
void LiteralColour(std::int32_t y, std::int32_t cb, std::int32_t cr, std::uint8_t bgr[3]);

}  // namespace vx::test
