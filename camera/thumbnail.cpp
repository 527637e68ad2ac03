// From downloaded bytes to pictures: the thumbnail of a listed picture into the
// catalogue, and any download or JPEG file into a bitmap.

#include <algorithm>
#include <cstring>

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/messages.h"
#include "jpeg/jpeg_decoder.h"

namespace vx {
namespace {

// The camera's full pictures are this size; a thumbnail stands for one until the
// picture itself is decoded.
constexpr std::int32_t kNominalWidth = 1792;
constexpr std::int32_t kNominalHeight = 1200;

std::string_view WireName(const FileName8& name) {
    return {name.data(), name.size()};
}

}  // namespace

bool CameraLink::FetchThumbnail(const PictureNode& node) {
    PictureBytes buffer;
    const std::string_view thumbnail = WireName(node.thumbnailName);
    switch (mode_) {
        case LinkMode::Usb:
            buffer = ReadPictureUsb(thumbnail, THUMBNAIL_READ_SIZE, nullptr);
            break;
        case LinkMode::Serial:
            if (SelectPictureSerial(thumbnail)) {
                buffer = ReadPictureSerial(thumbnail, THUMBNAIL_READ_SIZE, nullptr);
            }
            break;
        case LinkMode::None:
            break;
    }
    if (buffer.empty())
        return false;
    return !DecodeDownload(buffer.data(), node.pictureSize, THUMBNAIL_READ_SIZE,
                           ToString(node.pictureName), true, nullptr);
}

bool CameraLink::DecodeDownload(const std::uint8_t* data, std::uint32_t pictureSize,
                                std::uint32_t readSize, const std::string& name, bool toCatalogue,
                                DibImage* out) {
    JpegDecoder decoder;
    const std::uint8_t* pixels = nullptr;
    if (readSize == 0) {
        pixels = decoder.DecodeFile(name);
        if (decoder.status() == JpegStatus::CannotOpen ||
            decoder.status() == JpegStatus::CannotRead) {
            env_.user.ShowMessage(kTextJpegFileError);
            return false;
        }
    } else if (data == nullptr) {
        return false;
    } else if (toCatalogue) {
        // The thumbnail's stream starts at a fixed offset; a read too short to hold even
        // its first marker is no thumbnail.
        if (readSize < THUMBNAIL_OFFSET + 2)
            return false;
        pixels = decoder.DecodeMemory(data + THUMBNAIL_OFFSET, readSize - THUMBNAIL_OFFSET);
    } else {
        pixels = decoder.DecodeMemory(data, std::min(pictureSize, readSize));
    }
    if (pixels == nullptr) {
        if (decoder.status() == JpegStatus::NoMemory)
            env_.user.ShowMessage(kTextNoMemory);
        return false;
    }

    BitmapInfoHeader header = decoder.header();
    std::optional<DibImage> image =
        DibImage::Create(header.biWidth, header.biHeight, header.biXPelsPerMeter);
    if (!image) {
        env_.user.ShowMessage(kTextNoMemory);
        return false;
    }
    const std::size_t rows = image->bytes().size() - BitmapInfoHeader::kSize;
    std::memcpy(image->pixels(), pixels, std::min<std::size_t>(rows, header.biSizeImage));

    if (toCatalogue) {
        env_.catalogue.AddPicture(name.c_str(), pictureSize, readSize, image->bytes());
        if (pictureSize != 0 && !name.empty() && name[0] == 'S') {
            header.biWidth = kNominalWidth;
            header.biHeight = kNominalHeight;
        }
    } else if (out != nullptr) {
        *out = std::move(*image);
    }
    // The new entry, or the entry being handed over, is the cursor.
    env_.catalogue.SetPictureInfo(header);
    return true;
}

}  // namespace vx
