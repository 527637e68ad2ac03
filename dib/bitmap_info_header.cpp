#include "dib/bitmap_info_header.h"

namespace vx {
namespace {

void Put16(std::uint8_t*& p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p += 2;
}
void Put32(std::uint8_t*& p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    p += 4;
}
std::uint16_t Get16(const std::uint8_t*& p) {
    std::uint16_t v = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    p += 2;
    return v;
}
std::uint32_t Get32(const std::uint8_t*& p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    p += 4;
    return v;
}

}  // namespace

void BitmapInfoHeader::WriteTo(std::uint8_t* out) const {
    Put32(out, biSize);
    Put32(out, static_cast<std::uint32_t>(biWidth));
    Put32(out, static_cast<std::uint32_t>(biHeight));
    Put16(out, biPlanes);
    Put16(out, biBitCount);
    Put32(out, biCompression);
    Put32(out, biSizeImage);
    Put32(out, static_cast<std::uint32_t>(biXPelsPerMeter));
    Put32(out, static_cast<std::uint32_t>(biYPelsPerMeter));
    Put32(out, biClrUsed);
    Put32(out, biClrImportant);
}

BitmapInfoHeader BitmapInfoHeader::ReadFrom(const std::uint8_t* in) {
    BitmapInfoHeader h;
    h.biSize = Get32(in);
    h.biWidth = static_cast<std::int32_t>(Get32(in));
    h.biHeight = static_cast<std::int32_t>(Get32(in));
    h.biPlanes = Get16(in);
    h.biBitCount = Get16(in);
    h.biCompression = Get32(in);
    h.biSizeImage = Get32(in);
    h.biXPelsPerMeter = static_cast<std::int32_t>(Get32(in));
    h.biYPelsPerMeter = static_cast<std::int32_t>(Get32(in));
    h.biClrUsed = Get32(in);
    h.biClrImportant = Get32(in);
    return h;
}

}  // namespace vx
