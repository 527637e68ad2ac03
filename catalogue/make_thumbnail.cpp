#include "catalogue/make_thumbnail.h"

#include <cstring>

namespace vx {

std::optional<DibImage> MakeThumbnail(std::span<const std::uint8_t> packed) {
    if (packed.size() < BitmapInfoHeader::kSize)
        return std::nullopt;
    const BitmapInfoHeader source = BitmapInfoHeader::ReadFrom(packed.data());
    if (source.biSize != BitmapInfoHeader::kSize || source.biPlanes != 1 ||
        source.biBitCount != 24 || source.biCompression != 0 || source.biWidth < 1 ||
        source.biHeight < 1) {
        return std::nullopt;
    }
    // 64-bit throughout: a header may claim sides up to 2^31 - 1, and 70 x W or
    // 24 x W would overflow 32 bits long before the data check below refuses it.
    const std::uint64_t W = static_cast<std::uint64_t>(source.biWidth);
    const std::uint64_t H = static_cast<std::uint64_t>(source.biHeight);
    const std::uint64_t sourceStride = ((24 * W + 31) / 32) * 4;
    if ((packed.size() - BitmapInfoHeader::kSize) / sourceStride < H)
        return std::nullopt;

    // One factor for both sides keeps the aspect; the side that is longer for the
    // box decides it.
    const std::uint64_t e = (kThumbnailBoxHeight * W) / H >= kThumbnailBoxWidth
                                ? (W + kThumbnailBoxWidth - 1) / kThumbnailBoxWidth
                                : (H + kThumbnailBoxHeight - 1) / kThumbnailBoxHeight;
    const std::uint64_t w = W / e;
    const std::uint64_t h = H / e;
    // A sliver (say 1 x 1000) would reduce to no pixels at all, which is no bitmap.
    if (w == 0 || h == 0)
        return std::nullopt;

    std::optional<DibImage> thumbnail =
        DibImage::Create(static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), 0);
    if (!thumbnail)
        return std::nullopt;

    const std::uint8_t* sourcePixels = packed.data() + BitmapInfoHeader::kSize;
    for (std::uint64_t r = 0; r < h; ++r) {
        // Rows are stored bottom-up; sampling counts from the top.
        const std::uint8_t* sourceRow = sourcePixels + (H - 1 - r * e) * sourceStride;
        std::uint8_t* out = thumbnail->RowFromTop(static_cast<std::int32_t>(r));
        for (std::uint64_t c = 0; c < w; ++c) {
            std::memcpy(out + 3 * c, sourceRow + 3 * c * e, 3);
        }
    }
    return thumbnail;
}

}  // namespace vx
