// How the download command lists the card over the open link. A USB camera that has
// just been reset may not be ready: the listing is tried up to three times in each of
// three passes, with pauses to let the camera settle.

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/messages.h"

namespace vx {

std::int32_t CameraLink::ListPictures(PictureList& head) {
    const std::chrono::milliseconds pause(LISTING_PAUSE_MS);
    switch (mode_) {
        case LinkMode::Usb:
            for (int pass = 0; pass < LISTING_PASSES; ++pass) {
                for (int attempt = 0; attempt < LISTING_ATTEMPTS; ++attempt) {
                    const std::int32_t count = ListPicturesUsb(head);
                    env_.clock.Sleep(pause);
                    if (count != 0)
                        return count;
                }
                env_.clock.Sleep(pause);
            }
            env_.user.ShowMessage(kTextNoPictures);
            return 0;
        case LinkMode::Serial:
            return ListPicturesSerial(head);
        case LinkMode::None:
            break;
    }
    return 0;
}

}  // namespace vx
