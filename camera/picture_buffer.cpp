// The picture buffer: the bytes of the last download, kept until the next one.

#include <new>

#include "camera/camera_link.h"
#include "camera/messages.h"

namespace vx {

PictureBytes CameraLink::pictureBuffer() const {
    if (pictureBuffer_.empty())
        return {};
    return PictureBytes(pictureBuffer_.data(), pictureSize_);
}

bool CameraLink::AllocateDownload(std::vector<std::uint8_t>& block, std::uint64_t size) const {
    if (size == 0 || size > env_.maxDownloadBytes)
        return false;
    try {
        block.assign(static_cast<std::size_t>(size), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void CameraLink::ReleasePictureBuffer() {
    std::vector<std::uint8_t>().swap(pictureBuffer_);
    pictureSize_ = 0;
}

void CameraLink::ShowNoMemory() {
    env_.user.ShowMessage(kTextNoMemory);
    env_.user.RunExitCommand();
}

}  // namespace vx
