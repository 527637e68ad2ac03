// Listing the card's directory over USB: the directory length, then one escape per
// 512-byte block; every record becomes a node, in order.

#include <algorithm>

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/usb_transaction.h"

namespace vx {
namespace {

std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::int32_t CameraLink::ListPicturesUsb(PictureList& head) {
    if (!stillImage_ || !device_)
        return 0;
    auto bracket = UsbTransaction::Open(device_, UsbTransaction::Form::Full);
    if (!bracket)
        return 0;
    env_.catalogue.RemoveAll();

    std::uint8_t lengthBytes[4] = {};
    std::uint32_t actual = 0;
    if (!bracket->device().Escape(ESC_DIR_LENGTH, {}, lengthBytes, actual))
        return 0;
    std::uint32_t length = Get32(lengthBytes);
    // A last block that holds nothing but its 12-byte header is not read.
    const std::uint32_t tail = length % DIR_BLOCK_SIZE;
    if (tail >= 1 && tail <= DIR_HEADER_SIZE)
        length -= DIR_HEADER_SIZE;

    std::int32_t count = 0;
    const std::uint32_t blocks =
        std::min(length / DIR_BLOCK_SIZE + (length % DIR_BLOCK_SIZE != 0), DIR_BLOCKS_MAX);
    for (std::uint32_t b = 0; b < blocks; ++b) {
        const auto request = CameraFileRequest::ForDirectory(b * DIR_BLOCK_SIZE, DIR_BLOCK_SIZE);
        DirectoryBlock block;  // zeroed each time: a failed escape must not replay the last block
        if (!bracket->device().Escape(ESC_DIR_BLOCK, request.Encode(), block.bytes, actual)) {
            continue;  // a block that cannot be read holds no records
        }
        const std::uint32_t n = block.RecordCount();
        for (std::uint32_t i = 0; i < n; ++i) {
            head.push_back(NodeFromRecord(block.Record(i)));
            ++count;
        }
    }
    return count;
}

}  // namespace vx
