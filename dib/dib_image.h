#pragma once
// A 24-bit packed device-independent bitmap in one contiguous block: the 40-byte
// header followed at once by the pixel rows, bottom row first, three bytes blue,
// green, red per pixel, each row padded with zeros to a multiple of four bytes.
// The block is byte for byte what the platform expects, so the Windows shell hands
// it out or draws it by copying, with no conversion.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "dib/bitmap_info_header.h"

namespace vx {

class DibImage {
  public:
    // Largest width or height accepted, far above any picture the system meets;
    // keeps every size computation well inside 32 bits.
    static constexpr std::int32_t kMaxSide = 16384;

    DibImage() = default;

    // A zero-filled image of the given size carrying `pelsPerMeter` in both directions.
    // Empty when a side is not in 1..kMaxSide or memory cannot be had.
    static std::optional<DibImage> Create(std::int32_t width, std::int32_t height,
                                          std::int32_t pelsPerMeter);

    // A copy of a packed block, accepted only when its header describes a 24-bit,
    // uncompressed, bottom-up image with positive sides whose rows fit in the block.
    static std::optional<DibImage> FromPacked(std::span<const std::uint8_t> block);

    bool empty() const { return block_.empty(); }
    BitmapInfoHeader header() const;
    std::int32_t width() const;
    std::int32_t height() const;
    std::uint32_t stride() const { return RowStride24(static_cast<std::uint32_t>(width())); }

    // Row `r` counted from the top of the picture (stored bottom-up).
    std::uint8_t* RowFromTop(std::int32_t r);
    const std::uint8_t* RowFromTop(std::int32_t r) const;

    std::uint8_t* pixels() { return block_.data() + BitmapInfoHeader::kSize; }
    const std::uint8_t* pixels() const { return block_.data() + BitmapInfoHeader::kSize; }
    // The whole packed block: header and rows.
    std::span<const std::uint8_t> bytes() const { return block_; }

  private:
    std::vector<std::uint8_t> block_;
};

}  // namespace vx
