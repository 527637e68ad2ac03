// Opening and releasing the USB transport.

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/messages.h"

namespace vx {

bool CameraLink::OpenUsbCamera() {
    ReleaseUsbCamera();
    stillImage_ = env_.stillImage.CreateInstance();
    if (!stillImage_)
        return false;

    std::vector<StillImageDeviceInfo> devices;
    if (!stillImage_->GetDeviceList(devices)) {
        stillImage_.reset();
        return false;
    }
    // Only the exact description: "vx2917" or "VX2917 " are other devices.
    const StillImageDeviceInfo* camera = nullptr;
    for (const StillImageDeviceInfo& device : devices) {
        if (device.description == CAMERA_DESCRIPTION) {
            camera = &device;
            break;
        }
    }
    // Without a match the instance stays held; the next open or the teardown releases it.
    if (!camera)
        return false;

    device_ = stillImage_->CreateDevice(camera->internalName, STI_DEVICE_CREATE_DATA);
    if (!device_) {
        stillImage_.reset();
        return false;
    }
    return true;
}

void CameraLink::ReleaseUsbCamera() {
    // The device goes before the instance that made it.
    device_.reset();
    stillImage_.reset();
}

void CameraLink::OpenUsbLink() {
    if (env_.serialPorts == nullptr) {
        // The stand-alone program has USB only: a failed open leaves no link at all.
        if (OpenUsbCamera()) {
            mode_ = LinkMode::Usb;
        } else {
            mode_ = LinkMode::None;
            env_.user.ShowMessage(kTextNoCamera);
        }
        return;
    }
    if (OpenUsbCamera()) {
        CloseSerialPort();
        mode_ = LinkMode::Usb;
        env_.user.SetSerialButtonPushed(false);
        return;
    }
    env_.user.RepaintSerialButton();
    // At start-up (no link yet) the start-up message speaks for both transports.
    if (mode_ != LinkMode::None)
        env_.user.ShowMessage(kTextNoUsbCamera);
}

}  // namespace vx
