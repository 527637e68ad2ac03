// The card status bytes that replace REPLY_DATA, and what the user is told about them.

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/messages.h"

namespace vx {

void CameraLink::ShowStatusMessage(std::uint8_t status, bool unknownToo) {
    switch (status) {
        case ERR_NO_CARD:
            env_.user.ShowMessage(kTextNoCard);
            break;
        case ERR_CARD_FORMAT:
            env_.user.ShowMessage(kTextCardFormat);
            break;
        case ERR_CARD_ACCESS:
            env_.user.ShowMessage(kTextCardAccess);
            break;
        default:
            // The delete passes over bytes it does not know.
            if (unknownToo)
                env_.user.ShowMessage(kTextUnknownProblem);
            break;
    }
}

}  // namespace vx
