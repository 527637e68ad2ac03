// The link's life: construction closed, the start-up choice, the teardown.

#include "camera/camera_link.h"
#include "camera/messages.h"

namespace vx {

CameraLink::CameraLink(const CameraEnvironment& environment) : env_(environment) {}

CameraLink::~CameraLink() {
    ReleasePictureBuffer();
    CloseSerialPort();
    ReleaseUsbCamera();
}

bool CameraLink::ChooseLinkAtStartUp() {
    OpenUsbLink();
    if (env_.serialPorts == nullptr)
        return mode_ != LinkMode::None;  // shown its own message
    if (mode_ == LinkMode::None)
        OpenSerialLink();
    if (mode_ != LinkMode::None)
        return true;
    env_.user.ShowMessage(kTextNoCamera);
    return false;
}

}  // namespace vx
