#pragma once
// Pieces shared by the decoder's source files; not part of the public interface.

#include <cstdint>

#include "jpeg/jpeg_decoder.h"

namespace vx {

// Streams longer than this are refused, so that every offset, with the few bytes the
// bit reader may run past the end, stays far inside 32 bits.
inline constexpr std::uint32_t kMaxStreamLength = 0x40000000;

// Entry k: natural (row-major) index of the k-th coefficient in zig-zag order.
inline constexpr std::uint8_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The input and the one position that every step advances.
struct JpegDecoder::Stream {
    const std::uint8_t* data;
    std::uint32_t length;
    std::uint32_t pos;
};

}  // namespace vx
