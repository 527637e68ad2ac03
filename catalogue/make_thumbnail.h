#pragma once
// The grid thumbnail of a picture: reduced by one integer factor so that it fits a
// box of kThumbnailBoxWidth x kThumbnailBoxHeight, sampled nearest-neighbour from
// the top-left corner, with 0 pixels per metre.

#include <cstdint>
#include <optional>
#include <span>

#include "dib/dib_image.h"

namespace vx {

inline constexpr std::int32_t kThumbnailBoxWidth = 94;
inline constexpr std::int32_t kThumbnailBoxHeight = 70;

// `packed` is a 24-bit, uncompressed, bottom-up packed bitmap (header and rows).
// Empty result when the block is not one (a side of 0, a header that its data does
// not fill, another format), when the reduced picture would lose a whole side, or
// when memory cannot be had.
std::optional<DibImage> MakeThumbnail(std::span<const std::uint8_t> packed);

}  // namespace vx
