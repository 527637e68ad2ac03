#pragma once
// The 40-byte header of a packed device-independent bitmap, field for field as the
// platform lays it out (little-endian, no padding), and its serialisation.

#include <cstddef>
#include <cstdint>
#include <span>

namespace vx {

struct BitmapInfoHeader {
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;  // positive: rows stored bottom-up
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 24;
    std::uint32_t biCompression = 0;  // BI_RGB
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;

    static constexpr std::size_t kSize = 40;

    // Writes the 40 bytes at `out` (which must hold kSize bytes).
    void WriteTo(std::uint8_t* out) const;
    // Reads 40 bytes; the caller checks that `in` holds at least kSize bytes.
    static BitmapInfoHeader ReadFrom(const std::uint8_t* in);

    bool operator==(const BitmapInfoHeader&) const = default;
};

// Bytes in one 24-bit row of `width` pixels, padded to a multiple of four.
constexpr std::uint32_t RowStride24(std::uint32_t width) {
    return ((24 * width + 31) / 32) * 4;
}

}  // namespace vx
