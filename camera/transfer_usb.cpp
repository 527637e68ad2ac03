// Downloading one file over USB, in 4096-byte escapes straight into the picture buffer.

#include <algorithm>

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/usb_transaction.h"

namespace vx {

PictureBytes CameraLink::ReadPictureUsb(std::string_view name, std::uint32_t size,
                                        Progress* progress) {
    if (!stillImage_ || !device_)
        return {};
    if (size == 0)
        return {};  // nothing to download is no download
    auto bracket = UsbTransaction::Open(device_, UsbTransaction::Form::Full);
    if (!bracket)
        return {};

    ReleasePictureBuffer();
    std::vector<std::uint8_t> block;
    if (!AllocateDownload(block, size)) {
        ShowNoMemory();
        return {};
    }
    pictureBuffer_ = std::move(block);
    pictureSize_ = size;

    const FileName8 file = MakeFileName8(name);
    const std::uint32_t blocks = size / USB_BLOCK_SIZE + (size % USB_BLOCK_SIZE != 0);
    if (progress) {
        progress->SetRange(1, static_cast<std::int32_t>(blocks));
        progress->SetStep(1);
        progress->Show();
        progress->SetText(std::string(name));
    }

    StillImageDevice& device = bracket->device();
    std::uint32_t offset = 0;
    for (std::uint32_t i = 1; i <= blocks; ++i) {
        const std::uint32_t length =
            (i == blocks && size % USB_BLOCK_SIZE != 0) ? size % USB_BLOCK_SIZE : USB_BLOCK_SIZE;
        bool done = false;
        std::uint32_t delivered = 0;
        for (int attempt = 0; attempt < USB_BLOCK_ATTEMPTS && !done; ++attempt) {
            const auto request = CameraFileRequest::ForFile(offset, length, file);
            const std::span<std::uint8_t> room(pictureBuffer_.data() + offset, size - offset);
            std::uint32_t actual = 0;
            const bool succeeded = device.Escape(ESC_FILE_BLOCK, request.Encode(), room, actual);
            // A driver claiming more than the room it was given is believed only that far.
            delivered = std::min<std::uint32_t>(actual, static_cast<std::uint32_t>(room.size()));
            if (delivered == length) {
                done = true;
                break;
            }
            // The camera wants to hear about a wrong count before it sends anything else.
            const std::uint8_t one[4] = {1, 0, 0, 0};
            std::uint32_t none = 0;
            device.Escape(ESC_BLOCK_RECOVER, one, {}, none);
            // A short block from a call that succeeded is taken as it is: the later
            // requests then start that much earlier and the tail stays zero.
            if (succeeded)
                done = true;
        }
        if (!done) {
            ReleasePictureBuffer();
            return {};
        }
        offset += delivered;
        if (progress)
            progress->StepIt();
    }
    bracket.reset();
    if (progress)
        progress->Hide();
    return pictureBuffer();
}

}  // namespace vx
