#include "dib/dib_image.h"

#include <algorithm>
#include <new>

namespace vx {

std::optional<DibImage> DibImage::Create(std::int32_t width, std::int32_t height,
                                         std::int32_t pelsPerMeter) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return std::nullopt;
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biSizeImage =
        RowStride24(static_cast<std::uint32_t>(width)) * static_cast<std::uint32_t>(height);
    h.biXPelsPerMeter = pelsPerMeter;
    h.biYPelsPerMeter = pelsPerMeter;
    DibImage image;
    try {
        image.block_.assign(BitmapInfoHeader::kSize + h.biSizeImage, 0);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    h.WriteTo(image.block_.data());
    return image;
}

std::optional<DibImage> DibImage::FromPacked(std::span<const std::uint8_t> block) {
    if (block.size() < BitmapInfoHeader::kSize)
        return std::nullopt;
    const BitmapInfoHeader h = BitmapInfoHeader::ReadFrom(block.data());
    if (h.biSize != BitmapInfoHeader::kSize || h.biPlanes != 1 || h.biBitCount != 24 ||
        h.biCompression != 0 || h.biWidth < 1 || h.biHeight < 1 || h.biWidth > kMaxSide ||
        h.biHeight > kMaxSide) {
        return std::nullopt;
    }
    const std::uint64_t rows = std::uint64_t{RowStride24(static_cast<std::uint32_t>(h.biWidth))} *
                               static_cast<std::uint64_t>(h.biHeight);
    if (block.size() - BitmapInfoHeader::kSize < rows)
        return std::nullopt;
    DibImage image;
    try {
        image.block_.assign(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(
                                                               BitmapInfoHeader::kSize + rows));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return image;
}

BitmapInfoHeader DibImage::header() const {
    return empty() ? BitmapInfoHeader{} : BitmapInfoHeader::ReadFrom(block_.data());
}

std::int32_t DibImage::width() const {
    return header().biWidth;
}
std::int32_t DibImage::height() const {
    return header().biHeight;
}

std::uint8_t* DibImage::RowFromTop(std::int32_t r) {
    return pixels() + static_cast<std::size_t>(height() - 1 - r) * stride();
}
const std::uint8_t* DibImage::RowFromTop(std::int32_t r) const {
    return pixels() + static_cast<std::size_t>(height() - 1 - r) * stride();
}

}  // namespace vx
